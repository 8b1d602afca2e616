// Building the model: header strings, feature blocks, groups, installable
// options, constraints, and how the parse ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/PpdSource.h"

using namespace ppdtest;

namespace {

using DocumentPtr = std::unique_ptr<PpdDocument>;

DocumentPtr Build(std::string_view ppd, PpdParseReport* report = nullptr) {
    DocumentPtr document(Parse(ppd, report));
    EXPECT_NE(document, nullptr);
    return document;
}

std::u16string OptionKeyword(const PpdFeature* feature, int i) {
    return feature && i < feature->optionCount ? Text(feature->options[i]->keyword) : u"<none>";
}

const char kWorkedExample[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*% A comment line\n"
    "*ModelName: \"Printer X\"\n"
    "*OpenGroup: InstallableOptions/Options Installed\n"
    "*OpenUI *InstalledMemory/Memory: PickOne\n"
    "*DefaultInstalledMemory: 64MB\n"
    "*InstalledMemory 64MB/64 MB: \"\"\n"
    "*InstalledMemory 128MB/128 MB: \"\"\n"
    "*CloseUI: *InstalledMemory\n"
    "*CloseGroup: InstallableOptions\n"
    "*OpenUI *Resolution/Resolution: PickOne\n"
    "*OrderDependency: 20 AnySetup *Resolution\n"
    "*DefaultResolution: 600dpi\n"
    "*Resolution 600dpi/600 dpi: \"<</HWResolution[600 600]>>setpagedevice\"\n"
    "*End\n"
    "*Resolution 1200dpi/1200 dpi: \"<</HWResolution[1200 1200]>>\n"
    "setpagedevice\"\n"
    "*End\n"
    "*CloseUI: *Resolution\n"
    "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n";

TEST(PpdDocument, EmptyInputGivesAnEmptyModel) {
    for (const char* input : {"", "*% only a comment\n", "   \n\n"}) {
        SCOPED_TRACE(input);
        const long before = platform::portable::LiveAllocations();
        DocumentPtr doc = Build(input);
        EXPECT_EQ(doc->featureCount, 0);
        EXPECT_EQ(doc->constraintCount, 0);
        EXPECT_EQ(doc->installableCount, 0);
        for (const PpdString* s : {&doc->modelName, &doc->product, &doc->manufacturer,
                                   &doc->languageEncoding, &doc->languageVersion}) {
            EXPECT_EQ(s->length, 0);
            EXPECT_EQ(s->text[0], 0);
        }
        EXPECT_EQ(doc->GetFeature(0), nullptr);
        EXPECT_EQ(platform::portable::LiveAllocations() - before, ModelBlocks(*doc));
    }
}

TEST(PpdDocument, NullSourceOrReaderReadsAsAnEmptyFile) {
    DocumentPtr doc(new PpdDocument(PpdReadFileByte, nullptr));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->featureCount, 0);
    MemorySource source(kWorkedExample);
    doc.reset(new PpdDocument(nullptr, &source));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->featureCount, 0);
    EXPECT_EQ(source.reads, 0);
}

TEST(PpdDocument, WorkedExampleBuildsTheWholeModel) {
    DocumentPtr doc = Build(kWorkedExample);
    EXPECT_EQ(Text(doc->modelName), u"Printer X");
    ASSERT_EQ(doc->featureCount, 2);

    const PpdFeature* memory = doc->GetFeature(0);
    EXPECT_EQ(Text(memory->keyword), u"*InstalledMemory");
    EXPECT_EQ(Text(memory->translation), u"Memory");
    EXPECT_EQ(memory->uiType, uiPickOne);
    EXPECT_EQ(memory->orderDependency, 0);
    EXPECT_EQ(Text(memory->group), u"InstallableOptions");
    EXPECT_EQ(Text(memory->groupTranslation), u"Options Installed");
    EXPECT_EQ(Text(memory->defaultOption), u"64MB");
    EXPECT_EQ(memory->queryCode, nullptr);
    ASSERT_EQ(memory->optionCount, 2);
    EXPECT_EQ(Text(memory->options[0]->keyword), u"64MB");
    EXPECT_EQ(Text(memory->options[0]->translation), u"64 MB");
    EXPECT_EQ(std::u16string(memory->options[0]->invocation), u"");
    EXPECT_EQ(Text(memory->options[1]->keyword), u"128MB");
    EXPECT_EQ(Text(memory->options[1]->translation), u"128 MB");

    const PpdFeature* resolution = doc->GetFeature(1);
    EXPECT_EQ(Text(resolution->keyword), u"*Resolution");
    EXPECT_EQ(Text(resolution->group), u"");
    EXPECT_EQ(Text(resolution->groupTranslation), u"");
    EXPECT_EQ(resolution->orderDependency, 20);
    EXPECT_EQ(Text(resolution->defaultOption), u"600dpi");
    ASSERT_EQ(resolution->optionCount, 2);
    EXPECT_EQ(std::u16string(resolution->options[0]->invocation), u"<</HWResolution[600 600]>>setpagedevice");
    EXPECT_EQ(std::u16string(resolution->options[1]->invocation),
              u"<</HWResolution[1200 1200]>>\nsetpagedevice");

    ASSERT_EQ(doc->installableCount, 1);
    EXPECT_EQ(Text(doc->installables[0]->keyword), u"*InstalledMemory");
    EXPECT_EQ(Text(doc->installables[0]->currentOption), u"64MB");

    ASSERT_EQ(doc->constraintCount, 1);
    const PpdConstraint& c = *doc->constraints[0];
    EXPECT_EQ(Text(c.feature1), u"*InstalledMemory");
    EXPECT_EQ(Text(c.option1), u"64MB");
    EXPECT_EQ(Text(c.feature2), u"*Resolution");
    EXPECT_EQ(Text(c.option2), u"1200dpi");

    // The constructor has already evaluated the constraints.
    EXPECT_EQ(resolution->options[0]->constrained, 0);
    EXPECT_EQ(resolution->options[1]->constrained, 1);
    EXPECT_EQ(memory->options[0]->constrained, 0);
}

std::vector<int32_t> Lines(const PpdSourceSpans& spans) {
    std::vector<int32_t> lines;
    for (int32_t i = 0; i < spans.Count(); ++i) lines.push_back(spans[i].line);
    return lines;
}

// A report places each entry at its first token and up to the byte after
// its last, whatever ends the lines; a value over two lines counts both.
TEST(PpdDocument, ReportPlacesEachEntryWhateverEndsTheLines) {
    for (std::string end : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(testing::PrintToString(end));
        std::string ppd;
        for (char c : std::string(kWorkedExample)) ppd += c == '\n' ? end : std::string(1, c);
        PpdParseReport report;
        DocumentPtr doc = Build(ppd, &report);
        EXPECT_EQ(report.end, PpdParseEnd::Complete);
        EXPECT_EQ(Lines(report.features), (std::vector<int32_t>{5, 11}));
        EXPECT_EQ(Lines(report.options), (std::vector<int32_t>{7, 8, 14, 16}));
        EXPECT_EQ(Lines(report.constraints), std::vector<int32_t>{20});
        EXPECT_EQ(report.last.line, 20);
        ASSERT_EQ(report.features.Count(), 2);
        // The byte that ends a token is read with it: a CR LF's CR.
        EXPECT_EQ(report.features[0].begin, ppd.find("*OpenUI *InstalledMemory"));
        EXPECT_EQ(report.features[0].end, ppd.find("*CloseGroup") - end.size() + 1);
        ASSERT_EQ(report.options.Count(), 4);
        EXPECT_EQ(report.options[3].begin, ppd.find("*Resolution 1200dpi"));
        ASSERT_EQ(report.constraints.Count(), 1);
        EXPECT_EQ(report.constraints[0].end, ppd.size() - end.size() + 1);
    }
}

// How the parse ended, and the line of the last token it read.
TEST(PpdDocument, ReportSaysHowAndWhereTheParseEnded) {
    const struct {
        const char* name;
        const char* ppd;
        PpdParseEnd end;
        int32_t line;
    } rows[] = {
        {"Empty", "", PpdParseEnd::Complete, 0},
        {"Complete", "*OpenUI *F: PickOne\n*CloseUI: *F\n\n", PpdParseEnd::Complete, 2},
        {"HeaderValue", "*ModelName: \"X\"\n*Product:", PpdParseEnd::InputEndsInEntry, 2},
        {"GroupLabel", "*OpenGroup:\n", PpdParseEnd::InputEndsInEntry, 1},
        {"ShortConstraint", "*UIConstraints: *A a\n*B", PpdParseEnd::InputEndsInEntry, 2},
        {"Block", "*OpenUI *F: PickOne\n*F A: \"a\"\n", PpdParseEnd::InputEndsInBlock, 2},
        {"SecondQuery", "*OpenUI *F: PickOne\n*?F: \"a\"\n*?F: \"b\"\n*CloseUI: *F\n", PpdParseEnd::SecondQuery, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PpdParseReport report;
        DocumentPtr doc = Build(row.ppd, &report);
        EXPECT_EQ(report.end, row.end);
        EXPECT_EQ(report.last.line, row.line);
    }
}

TEST(PpdDocument, HeaderStringsAreSingleTokensAndTheLastOneWins) {
    DocumentPtr doc = Build(
        "*ModelName: \"First\"\n*ModelName: \"Printer  Y\"\n"
        "*Product: (Printer Y)\n"
        "*Manufacturer:\"Maker\"\n"
        "*LanguageEncoding: ISOLatin1\n*LanguageVersion: English\n"
        "*NickName: \"ignored\"\n");
    EXPECT_EQ(Text(doc->modelName), u"Printer  Y");
    EXPECT_EQ(Text(doc->product), u"(Printer");
    EXPECT_EQ(doc->product.length, 8);
    EXPECT_EQ(Text(doc->manufacturer), u"Maker");
    EXPECT_EQ(Text(doc->languageEncoding), u"ISOLatin1");
    EXPECT_EQ(Text(doc->languageVersion), u"English");
}

TEST(PpdDocument, CarriageReturnsAreBlanks) {
    DocumentPtr doc = Build("*OpenUI *Duplex: Boolean\r\n*DefaultDuplex: False\r\n"
                            "*Duplex False: \"\"\r\n*CloseUI: *Duplex\r\n");
    ASSERT_EQ(doc->featureCount, 1);
    EXPECT_EQ(Text(doc->GetFeature(0)->defaultOption), u"False");
    EXPECT_EQ(OptionKeyword(doc->GetFeature(0), 0), u"False");
}

struct KeywordRow {
    const char* name;
    std::string text;  // keyword and translation of an option line, up to the colon
    std::u16string keyword;
    std::u16string translation;
};

TEST(PpdDocument, SplitsKeywordAndTranslation) {
    const KeywordRow rows[] = {
        {"Plain", "Letter", u"Letter", u"Letter"},
        {"WithTranslation", "Letter/US Letter", u"Letter", u"US Letter"},
        {"LastSlashWins", "A/B/C", u"B", u"C"},
        {"StarLeftOutOfTranslation", "*Star", u"*Star", u"Star"},
        {"EmptyKeywordTakesTheTranslation", "/Only", u"Only", u"Only"},
        {"TwoSlashesAtTheEnd", "A//", u"", u""},
        {"BlanksBeforeTheColonStay", "Letter/US Letter  ", u"Letter", u"US Letter  "},
        {"HexInTranslation", "e/Caf<E9> <80>5", u"e", u"Caf\u00e9 \u20ac5"},
        {"HexInKeyword", "<41>4/x", u"A4", u"x"},
        {"OddHexDigitDropped", "x/<414>", u"x", u"A"},
        {"HexStateCrossesSlash", "<4/1>", u"A", u"A"},
        {"HexBlankBeforeDigit", "k/< 9>z", u"k", u"\tz"},
        {"HexStopsAtNonDigit", "k/<4G>z", u"k", u"\x04z"},
        {"HexNonDigitFirstIsNul", "k/a<G1>z", u"k", u"a"},
        {"HexSignedPair", "k/a<+A>z", u"k", u"a\nz"},
        {"HexLowerCase", "e/caf<e9>", u"e", u"caf\u00e9"},
        {"OddHexDigitAtTheEnd", "x/a<4", u"x", u"a"},
    };
    for (const KeywordRow& row : rows) {
        SCOPED_TRACE(row.name);
        DocumentPtr doc = Build("*OpenUI *F: PickOne\n*F " + row.text + ": \"v\"\n*CloseUI: *F\n");
        ASSERT_EQ(doc->featureCount, 1);
        const PpdFeature* f = doc->GetFeature(0);
        ASSERT_EQ(f->optionCount, 1);
        EXPECT_EQ(Text(f->options[0]->keyword), row.keyword);
        EXPECT_EQ(Text(f->options[0]->translation), row.translation);
        EXPECT_EQ(f->options[0]->keyword.length, static_cast<int32_t>(row.keyword.size()));
    }
}

TEST(PpdDocument, LongTextKeepsItsLongestPrefixThatFits) {
    PlatformGuard guard;
    // A piece is cut to 259 units before conversion; a header value is
    // converted whole and cut afterwards, at a character boundary.
    DocumentPtr doc = Build("*ModelName: \"" + std::string(300, 'm') + "\"\n*OpenUI *F/" +
                            std::string(400, 't') + ": PickOne\n*CloseUI: *F\n");
    EXPECT_EQ(doc->modelName.length, 259);
    EXPECT_EQ(Text(doc->modelName), std::u16string(259, u'm'));
    ASSERT_EQ(doc->featureCount, 1);
    EXPECT_EQ(Text(doc->GetFeature(0)->keyword), u"*F");
    EXPECT_EQ(Text(doc->GetFeature(0)->translation), std::u16string(259, u't'));

    ASSERT_TRUE(platform::portable::SetAnsiCodePage(932));
    doc = Build("*ModelName: \"" + std::string(258, 'a') + "\x8e\xe8\x8e\xe8\"\n");
    EXPECT_EQ(doc->modelName.length, 259);
    EXPECT_EQ(Text(doc->modelName), std::u16string(258, u'a') + u"\u624b");
}

TEST(PpdDocument, HexTranslationsFollowTheAnsiCodePage) {
    PlatformGuard guard;
    const char ppd[] = "*OpenUI *InstalledMemory/<83818382838A>: PickOne\n"
                       "*InstalledMemory 64MB/<8EE8> <B1>: \"\x8e\xe8\"\n*CloseUI: *InstalledMemory\n";
    struct Row {
        unsigned codePage;
        std::u16string feature;
        std::u16string option;
    };
    const Row rows[] = {
        {1252, u"\u0192\u0081\u0192\u201a\u0192\u0160", u"\u017d\u00e8 \u00b1"},
        {932, u"\u30e1\u30e2\u30ea", u"\u624b \uff71"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.codePage);
        ASSERT_TRUE(platform::portable::SetAnsiCodePage(row.codePage));
        DocumentPtr doc = Build(ppd);
        ASSERT_EQ(doc->featureCount, 1);
        const PpdFeature* f = doc->GetFeature(0);
        EXPECT_EQ(Text(f->translation), row.feature);
        ASSERT_EQ(f->optionCount, 1);
        EXPECT_EQ(Text(f->options[0]->translation), row.option);
        // The invocation keeps the file's bytes, one per unit.
        EXPECT_EQ(std::u16string(f->options[0]->invocation), u"\x8e\xe8");
    }
}

TEST(PpdDocument, FeatureBlockFields) {
    struct Row {
        const char* name;
        std::string block;  // between *OpenUI and *CloseUI
        int32_t uiType;
        int32_t orderDependency;
        std::u16string defaultOption;
    };
    const Row rows[] = {
        {"PickOne", "*OpenUI *F: PickOne\n", uiPickOne, 0, u""},
        {"PickMany", "*OpenUI *F: PickMany\n", uiPickMany, 0, u""},
        {"Boolean", "*OpenUI *F: Boolean\n", uiBoolean, 0, u""},
        {"OtherType", "*OpenUI *F: boolean\n", uiPickOne, 0, u""},
        {"OrderDependency", "*OpenUI *F: PickOne\n*OrderDependency: 30 AnySetup *F\n", uiPickOne, 30, u""},
        {"NegativeOrder", "*OpenUI *F: PickOne\n*OrderDependency: -5 AnySetup *F\n", uiPickOne, -5, u""},
        {"FractionalOrder", "*OpenUI *F: PickOne\n*OrderDependency: 10.5 AnySetup *F\n", uiPickOne, 10, u""},
        {"NonNumericOrder", "*OpenUI *F: PickOne\n*OrderDependency: x AnySetup *F\n", uiPickOne, 0, u""},
        // A vertical tab is no PPD blank, so it opens the token; _wtoi skips it.
        {"OrderAfterVerticalTab", "*OpenUI *F: PickOne\n*OrderDependency: \v40 AnySetup *F\n", uiPickOne, 40, u""},
        // Out of range, as _wtoi clamps.
        {"OrderAboveRange", "*OpenUI *F: PickOne\n*OrderDependency: 99999999999 AnySetup *F\n", uiPickOne,
         INT32_MAX, u""},
        {"OrderBelowRange", "*OpenUI *F: PickOne\n*OrderDependency: -99999999999 AnySetup *F\n", uiPickOne,
         INT32_MIN, u""},
        {"OrderJustAboveRange", "*OpenUI *F: PickOne\n*OrderDependency: 2147483648 AnySetup *F\n", uiPickOne,
         INT32_MAX, u""},
        {"OrderAtTheBottom", "*OpenUI *F: PickOne\n*OrderDependency: -2147483648 AnySetup *F\n", uiPickOne,
         INT32_MIN, u""},
        {"LaterDefaultWins", "*OpenUI *F: PickOne\n*DefaultF: A\n*DefaultF: B\n", uiPickOne, 0, u"B"},
        {"AnyDefaultPrefix", "*OpenUI *F: PickOne\n*DefaultF: A\n*DefaultOther: C\n", uiPickOne, 0, u"C"},
        {"BareDefault", "*OpenUI *F: PickOne\n*Default: D\n", uiPickOne, 0, u"D"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DocumentPtr doc = Build(row.block + "*CloseUI: *F\n*OpenUI *Next: PickOne\n*CloseUI: *Next\n");
        ASSERT_EQ(doc->featureCount, 2);
        const PpdFeature* f = doc->GetFeature(0);
        EXPECT_EQ(f->uiType, row.uiType);
        EXPECT_EQ(f->orderDependency, row.orderDependency);
        EXPECT_EQ(Text(f->defaultOption), row.defaultOption);
        EXPECT_EQ(f->optionCount, 0);
    }
}

TEST(PpdDocument, DuplexWithoutTranslation) {
    DocumentPtr doc = Build("*OpenUI *Duplex: Boolean\n*CloseUI: *Duplex\n");
    ASSERT_EQ(doc->featureCount, 1);
    EXPECT_EQ(Text(doc->GetFeature(0)->keyword), u"*Duplex");
    EXPECT_EQ(Text(doc->GetFeature(0)->translation), u"Duplex");
    EXPECT_EQ(doc->GetFeature(0)->uiType, uiBoolean);
}

TEST(PpdDocument, OnlyLinesOfTheFeaturesOwnKeywordAreOptions) {
    DocumentPtr doc = Build(
        "*OpenUI *InputSlot/Paper Source: PickOne\n"
        "*InputSlot Upper/Cassette 1: \"a\"\n"
        "*End\n"
        "*PageSize Letter: \"not an option of InputSlot\"\n"
        "*InputSlotX Lower: \"x\"\n"
        "*OpenUI *Nested: PickOne\n"
        "*InputSlot Lower/Cassette 2: \"b\"\n"
        "*CloseUI: *SomethingElse\n"
        "*InputSlot Manual: \"outside any block\"\n");
    ASSERT_EQ(doc->featureCount, 1);
    const PpdFeature* f = doc->GetFeature(0);
    ASSERT_EQ(f->optionCount, 2);
    EXPECT_EQ(OptionKeyword(f, 0), u"Upper");
    EXPECT_EQ(OptionKeyword(f, 1), u"Lower");
    EXPECT_EQ(Text(f->options[1]->translation), u"Cassette 2");
}

TEST(PpdDocument, QueryCodeIsKeptRawAndASecondQueryEndsTheParse) {
    DocumentPtr doc = Build(
        "*OpenUI *F: PickOne\n*?F: \"\x8e\xe8 query\"\n*End\n*F A: \"a\"\n*CloseUI: *F\n"
        "*OpenUI *G: PickOne\n*G A: \"a\"\n*?G: \"one\"\n*?G: \"two\"\n*G B: \"b\"\n*CloseUI: *G\n"
        "*OpenUI *H: PickOne\n*CloseUI: *H\n*UIConstraints: *F A *G A\n");
    ASSERT_EQ(doc->featureCount, 2);
    EXPECT_EQ(std::u16string(doc->GetFeature(0)->queryCode), u"\x8e\xe8 query");
    const PpdFeature* g = doc->GetFeature(1);
    EXPECT_EQ(std::u16string(g->queryCode), u"one");
    EXPECT_EQ(g->optionCount, 1);
    EXPECT_EQ(doc->constraintCount, 0);
}

TEST(PpdDocument, GroupsGiveFeaturesTheirGroupAndInstallables) {
    DocumentPtr doc = Build(
        "*OpenGroup: InstallableOptions/Options Installed\n"
        "*OpenUI *Tray: Boolean\n*DefaultTray: True\n*CloseUI: *Tray\n"
        "*OpenUI *Memory: PickOne\n*CloseUI: *Memory\n"
        "*CloseGroup: InstallableOptions\n"
        "*OpenUI *Plain: PickOne\n*CloseUI: *Plain\n"
        "*OpenGroup: General\n"
        "*OpenUI *Other: PickOne\n*DefaultOther: X\n*CloseUI: *Other\n"
        "*CloseGroup: General\n"
        "*OpenGroup: InstallableOptions\n"
        "*OpenUI *Late: PickOne\n*DefaultLate: L\n*CloseUI: *Late\n");
    ASSERT_EQ(doc->featureCount, 5);
    const struct {
        std::u16string group, translation;
    } groups[] = {{u"InstallableOptions", u"Options Installed"},
                  {u"InstallableOptions", u"Options Installed"},
                  {u"", u""},
                  {u"General", u"General"},
                  {u"InstallableOptions", u"InstallableOptions"}};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Text(doc->GetFeature(i)->group), groups[i].group);
        EXPECT_EQ(Text(doc->GetFeature(i)->groupTranslation), groups[i].translation);
    }
    ASSERT_EQ(doc->installableCount, 3);
    EXPECT_EQ(Text(doc->installables[0]->keyword), u"*Tray");
    EXPECT_EQ(Text(doc->installables[0]->currentOption), u"True");
    EXPECT_EQ(Text(doc->installables[1]->keyword), u"*Memory");
    EXPECT_EQ(Text(doc->installables[1]->currentOption), u"");
    EXPECT_EQ(Text(doc->installables[2]->keyword), u"*Late");
    EXPECT_EQ(Text(doc->installables[2]->currentOption), u"L");
}

TEST(PpdDocument, EndOfInputInsideABlockKeepsTheFeatureWithoutInstallable) {
    struct Row {
        const char* name;
        std::string tail;
        int32_t options;
        bool lastHasInvocation;
    };
    const Row rows[] = {
        {"AfterOpenUi", "*OpenUI", 0, false},
        {"AfterKeyword", "*OpenUI *Tray:", 0, false},
        {"AfterType", "*OpenUI *Tray: PickOne\n", 0, false},
        {"AfterOptionKeyword", "*OpenUI *Tray: PickOne\n*Tray", 1, false},
        {"AfterOptionName", "*OpenUI *Tray: PickOne\n*Tray Upper:", 1, false},
        {"AfterOptionValue", "*OpenUI *Tray: PickOne\n*Tray Upper: \"x\"\n", 1, true},
        {"AfterCloseUi", "*OpenUI *Tray: PickOne\n*Tray Upper: \"x\"\n*CloseUI:", 1, true},
        {"InOrderDependency", "*OpenUI *Tray: PickOne\n*OrderDependency: 10 AnySetup", 0, false},
        {"AfterDefault", "*OpenUI *Tray: PickOne\n*DefaultTray:", 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PpdParseReport report;
        DocumentPtr doc = Build("*OpenGroup: InstallableOptions\n*OpenUI *Done: PickOne\n*CloseUI: *Done\n" +
                                row.tail, &report);
        EXPECT_EQ(report.end, PpdParseEnd::InputEndsInBlock);
        EXPECT_EQ(Lines(report.features), (std::vector<int32_t>{2, 4}));
        ASSERT_EQ(doc->featureCount, 2);
        EXPECT_EQ(doc->installableCount, 1);
        const PpdFeature* f = doc->GetFeature(1);
        EXPECT_EQ(f->uiType, uiPickOne);
        EXPECT_EQ(f->orderDependency, row.name == std::string("InOrderDependency") ? 10 : 0);
        ASSERT_EQ(f->optionCount, row.options);
        if (row.options) {
            EXPECT_EQ(f->options[0]->invocation != nullptr, row.lastHasInvocation);
        }
    }
}

TEST(PpdDocument, ConstraintsTakeFourTokensWhereverTheyStand) {
    PpdParseReport report;
    DocumentPtr doc = Build(
        "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n"
        "*UIConstraints: *Duplex *InstalledDuplex False\n"
        "*UIConstraints: *A a *B b\n"
        "*UIConstraints: *C c\n  *D d\n"
        "*UIConstraints: *E e *F\n", &report);
    ASSERT_EQ(doc->constraintCount, 4);
    EXPECT_EQ(Lines(report.constraints), (std::vector<int32_t>{1, 2, 4, 6}));
    auto row = [&](int i) {
        const PpdConstraint& c = *doc->constraints[i];
        return Text(c.feature1) + u"|" + Text(c.option1) + u"|" + Text(c.feature2) + u"|" + Text(c.option2);
    };
    EXPECT_EQ(row(0), u"*InstalledMemory|64MB|*Resolution|1200dpi");
    // Three tokens: the next entry's keyword is the fourth, and that entry is lost.
    EXPECT_EQ(row(1), u"*Duplex|*InstalledDuplex|False|*UIConstraints");
    EXPECT_EQ(row(2), u"*C|c|*D|d");
    // Cut short by the end of input: counted with what was read.
    EXPECT_EQ(row(3), u"*E|e|*F|");
}

TEST(PpdDocument, ArraysGrowByDoublingPastTheirFirstCapacity) {
    // Each count past a power of two costs exactly one more allocation (the
    // grown array) than the entry before it.
    auto allocations = [](const std::string& ppd) {
        platform::portable::FailAllocation(0);
        DocumentPtr doc = Build(ppd);
        return platform::portable::AllocationsSoFar();
    };
    auto features = [](int n) {
        std::string ppd;
        for (int i = 0; i < n; ++i) ppd += "*OpenUI *F" + std::to_string(100 + i) + ": PickOne\n*CloseUI: *F\n";
        return ppd;
    };
    auto options = [](int n) {
        std::string ppd = "*OpenUI *F: PickOne\n";
        for (int i = 0; i < n; ++i) ppd += "*F O" + std::to_string(100 + i) + ": \"x\"\n";
        return ppd + "*CloseUI: *F\n";
    };
    auto constraints = [](int n) {
        std::string ppd;
        for (int i = 0; i < n; ++i) ppd += "*UIConstraints: *A a" + std::to_string(100 + i) + " *B b\n";
        return ppd;
    };
    struct Row {
        const char* name;
        std::function<std::string(int)> make;
        std::vector<int> growAt;
    };
    const Row rows[] = {{"Features", features, {33, 65}},
                        {"Options", options, {65, 129}},
                        {"Constraints", constraints, {513, 1025}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int at : row.growAt) {
            long before = allocations(row.make(at - 2));
            long full = allocations(row.make(at - 1));
            long grown = allocations(row.make(at));
            long after = allocations(row.make(at + 1));
            EXPECT_EQ(grown - full, full - before + 1) << at;
            EXPECT_EQ(after - grown, full - before) << at;
        }
    }
    DocumentPtr doc = Build(features(200));
    ASSERT_EQ(doc->featureCount, 200);
    EXPECT_EQ(Text(doc->GetFeature(199)->keyword), u"*F299");
    doc = Build(options(300));
    ASSERT_EQ(doc->GetFeature(0)->optionCount, 300);
    EXPECT_EQ(OptionKeyword(doc->GetFeature(0), 299), u"O399");
    doc = Build(constraints(1100));
    ASSERT_EQ(doc->constraintCount, 1100);
    EXPECT_EQ(Text(doc->constraints[1099]->option1), u"a1199");
}

TEST(PpdDocument, InstallablesGrowPastThirtyTwo) {
    std::string ppd = "*OpenGroup: InstallableOptions\n";
    for (int i = 0; i < 70; ++i) ppd += "*OpenUI *I" + std::to_string(i) + ": Boolean\n*CloseUI: *I\n";
    DocumentPtr doc = Build(ppd);
    ASSERT_EQ(doc->installableCount, 70);
    EXPECT_EQ(Text(doc->installables[69]->keyword), u"*I69");
}

TEST(PpdDocument, LookupsByIndexAndText) {
    DocumentPtr doc = Build(kWorkedExample);
    EXPECT_NE(doc->GetFeature(1), nullptr);
    EXPECT_EQ(doc->GetFeature(doc->featureCount), nullptr);
    EXPECT_EQ(doc->GetFeature(-1), nullptr);
    const PpdFeature* f = doc->GetFeature(1);
    EXPECT_TRUE(f->keyword.Equals(u"*Resolution"));
    EXPECT_FALSE(f->keyword.Equals(u"Resolution"));
    EXPECT_FALSE(f->keyword.Equals(u"*resolution"));
    EXPECT_FALSE(f->keyword.Equals(nullptr));
}

TEST(PpdString, AssignCopyAndCompare) {
    PlatformGuard guard;
    PpdString a;
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.text[0], 0);
    a.Assign(u"Letter");
    EXPECT_EQ(a.length, 6);

    PpdString b;
    b.CopyFrom(a);
    EXPECT_TRUE(b.SameAs(a));
    EXPECT_TRUE(b.Equals(u"Letter"));
    EXPECT_FALSE(b.Equals(u"Lette"));
    EXPECT_FALSE(b.Equals(u"Letters"));

    // SameAs looks at the length first.
    b.length = 5;
    EXPECT_FALSE(b.SameAs(a));
    EXPECT_TRUE(b.Equals(u"Letter"));

    a.Assign(nullptr);
    EXPECT_EQ(a.length, 0);

    // Without memory for the conversion the string comes out empty.
    b.Assign(u"Letter");
    platform::portable::FailAllocation(1);
    b.Assign(u"Legal");
    EXPECT_EQ(b.length, 0);
    EXPECT_EQ(Text(b), u"");
}

TEST(PpdString, TooLongConversionKeepsAPrefixAtACharacterBoundary) {
    PlatformGuard guard;
    struct Row {
        const char* name;
        unsigned codePage;
        std::string bytes;
        std::u16string expected;
    };
    const Row rows[] = {
        {"Exactly259", 1252, std::string(259, 'x'), std::u16string(259, u'x')},
        {"Over", 1252, std::string(400, 'x'), std::u16string(259, u'x')},
        {"DoubleByteNotSplit", 932, std::string(257, 'a') + "\x8e\xe8\x8e\xe8\x8e\xe8",
         std::u16string(257, u'a') + u"\u624b\u624b"},
        {"HalfWidthKatakana", 932, std::string(300, '\xb1'), std::u16string(259, u'\uff71')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(platform::portable::SetAnsiCodePage(row.codePage));
        PpdString s;
        s.Assign(Units(row.bytes).c_str());
        EXPECT_EQ(Text(s), row.expected);
        EXPECT_EQ(s.length, static_cast<int32_t>(row.expected.size()));
    }
}

}  // namespace
