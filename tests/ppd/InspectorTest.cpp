// The corvina-ppd inspector: its JSON is the model, its exit codes and
// messages follow the usage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/InspectorCheck.h"
#include "tests/support/PpdSource.h"

using namespace ppdtest;

namespace {

const char kPpd[] =
    "*PPD-Adobe: \"4.3\"\n*ModelName: \"Back\\slash \\\"quoted\\\"\"\n*Product: \"(Tab\tHere)\"\n"
    "*Manufacturer: \"Maker\"\n*LanguageEncoding: ISOLatin1\n*LanguageVersion: English\n"
    "*OpenGroup: InstallableOptions/Options <E9>tendues\n"
    "*OpenUI *InstalledMemory/Memory: PickOne\n*DefaultInstalledMemory: 64MB\n"
    "*InstalledMemory 64MB/64 MB: \"\"\n*InstalledMemory 128MB/128 MB: \"\"\n*CloseUI: *InstalledMemory\n"
    "*OpenUI *Tray/<8EE8> Tray: Boolean\n*DefaultTray: False\n*Tray True: \"\"\n*Tray False: \"\"\n*CloseUI: *Tray\n"
    "*CloseGroup: InstallableOptions\n"
    "*OpenUI *Resolution/R\\es: PickOne\n*OrderDependency: 20 AnySetup *Resolution\n"
    "*DefaultResolution: 600dpi\n*Resolution 600dpi/600 dpi: \"a\"\n*Resolution 1200dpi/1200 dpi: \"b\"\n"
    "*CloseUI: *Resolution\n"
    "*OpenUI *Empty: PickOne\n*CloseUI: *Empty\n"
    "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n"
    "*UIConstraints: *Tray True *Resolution 600dpi\n";

class Inspector : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/corvina-ppd-test-XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
        Write(kPpd);
    }
    void TearDown() override { std::remove(path_.c_str()); }

    void Write(const std::string& text) {
        std::ofstream(path_, std::ios::binary) << text;
    }
    inspector::RunResult Run(std::vector<std::string> args) {
        return inspector::RunTool(CORVINA_PPD_TOOL, args, path_ + ".run");
    }
    std::unique_ptr<PpdDocument> Model(unsigned codePage) {
        platform::portable::SetAnsiCodePage(codePage);
        FILE* file = std::fopen(path_.c_str(), "r");
        std::unique_ptr<PpdDocument> doc(new PpdDocument(PpdReadFileByte, file));
        std::fclose(file);
        return doc;
    }
    void ExpectJsonIsModel(const std::string& json, const PpdDocument& doc) {
        inspector::Json root;
        inspector::JsonParser parser(json);
        ASSERT_TRUE(parser.Parse(root)) << "invalid JSON near byte " << parser.Position();
        inspector::ModelComparison comparison;
        comparison.Compare(root, doc);
        for (const std::string& difference : comparison.differences) ADD_FAILURE() << difference;
    }

    PlatformGuard guard_;
    std::string path_;
};

TEST_F(Inspector, JsonIsTheModelWithTheInstalledOptionsApplied) {
    inspector::RunResult run =
        Run({"--json", "--installed", "*InstalledMemory=128MB", "--installed=*Tray=True", path_});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    auto doc = Model(1252);
    doc->SetInstallableOption(u"*InstalledMemory", u"128MB", false);
    doc->SetInstallableOption(u"*Tray", u"True", false);
    doc->EvaluateConstraints();
    ASSERT_EQ(doc->GetFeature(2)->optionCount, 2);
    EXPECT_EQ(doc->GetFeature(2)->options[0]->constrained, 1);
    ExpectJsonIsModel(run.out, *doc);
}

TEST_F(Inspector, JsonFollowsTheCodePage) {
    for (unsigned codePage : {1252u, 932u}) {
        SCOPED_TRACE(codePage);
        inspector::RunResult run = Run({"--json", "--codepage", std::to_string(codePage), path_});
        EXPECT_EQ(run.exitCode, 0);
        auto doc = Model(codePage);
        EXPECT_EQ(Text(doc->GetFeature(1)->translation),
                  codePage == 932 ? u"\u624b Tray" : u"\u017d\u00e8 Tray");
        ExpectJsonIsModel(run.out, *doc);
    }
}

TEST_F(Inspector, UnknownInstallableIsReportedAndChangesNothing) {
    inspector::RunResult run = Run({"--json", "--installed", "*Nothing=1", "--installed", "InstalledMemory=128MB", path_});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("*Nothing"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("InstalledMemory"), std::string::npos) << run.err;
    ExpectJsonIsModel(run.out, *Model(1252));
}

TEST_F(Inspector, EmptyFileGivesAnEmptyModel) {
    Write("");
    inspector::RunResult run = Run({"--json", path_});
    EXPECT_EQ(run.exitCode, 0);
    ExpectJsonIsModel(run.out, *Model(1252));
}

TEST_F(Inspector, TextViewMarksConstrainedOptionsByGroup) {
    inspector::RunResult run = Run({"--installed", "*Tray=True", path_});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("[InstallableOptions] Options \xc3\xa9tendues"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[no group]"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("x 600dpi"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  1200dpi"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("stops reading"), std::string::npos) << run.out;
    Write("*OpenUI *Tray: Boolean\n*?Tray: \"a\"\n*?Tray: \"b\"\n*CloseUI: *Tray\n");
    run = Run({path_});
    EXPECT_NE(run.out.find("The plug-in stops reading at line 3: a second query keyword in a feature block\n"),
              std::string::npos) << run.out;
}

TEST_F(Inspector, ExitCodes) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Row rows[] = {
        {"NoFile", {}, 2, "usage: corvina-ppd"},
        {"TwoFiles", {path_, path_}, 2, "usage: corvina-ppd"},
        {"UnknownOption", {"--yaml", path_}, 2, "usage: corvina-ppd"},
        {"OtherCodePage", {"--codepage", "437", path_}, 2, "usage: corvina-ppd"},
        {"CodePageMissing", {path_, "--codepage"}, 2, "usage: corvina-ppd"},
        {"InstalledWithoutEquals", {"--installed", "*Tray", path_}, 2, "usage: corvina-ppd"},
        {"MissingFile", {path_ + ".missing"}, 1, "cannot read"},
        {"Directory", {"/tmp"}, 1, "cannot read"},
        {"Help", {"--help"}, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        inspector::RunResult run = Run(row.args);
        EXPECT_EQ(run.exitCode, row.exitCode);
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        if (row.exitCode == 1) {
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        }
    }
}

}  // namespace
