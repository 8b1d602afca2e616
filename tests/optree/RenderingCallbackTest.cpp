#include <gtest/gtest.h>

#include <vector>

#include "optree/OptionTree.h"
#include "tests/support/FakeDriverHelper.h"
#include "tests/support/ItemArrays.h"

namespace {

using hostitems::ItemArray;
using hostitems::ItemSpec;

ItemSpec Item(const char* keyword, BYTE dmPubId = 0, LONG sel = 0, DWORD flags = 0) {
    ItemSpec entry;
    entry.name = u"Item";
    entry.hostKeyword = keyword;
    entry.keywordRecord = keyword[0] != '\0';
    entry.dmPubId = dmPubId;
    entry.sel = sel;
    entry.flags = flags;
    entry.options = {{u"A", 0}, {u"B", 0}};
    return entry;
}

class RenderingCallbackTest : public testing::Test {
protected:
    RenderingCallbackTest()
        : items({Item(""), Item("", DMPUB_COLOR, 1), Item("QZScreens"), Item("QZRendering", 0, 1),
                 Item("QZRendering", 0, 1)}) {
        context.driverHelper.reset(&helper);
        param.poemuiobj = &uiObject;
        param.pDrvOptItems = items.Items();
        param.cDrvOptItems = items.Count();
        param.pOEMUserData = &context;
        callback.Reason = CPSUICB_REASON_SEL_CHANGED;
        callback.pCurItem = &items.Item(colour);
    }

    LONG Select(LONG sel) {
        items.Item(colour).Sel = sel;
        return RenderingDependencyCallback(&callback, &param);
    }

    std::vector<DWORD> Flags() {
        std::vector<DWORD> flags;
        for (DWORD i = 0; i < items.Count(); ++i) flags.push_back(items.Item(i).Flags);
        return flags;
    }
    std::vector<LONG> Selections() {
        std::vector<LONG> sels;
        for (DWORD i = 0; i < items.Count(); ++i) sels.push_back(items.Item(i).Sel);
        return sels;
    }

    static constexpr int colour = 1;
    static constexpr int rendering = 3;
    ItemArray items;
    support::FakeDriverHelper helper;
    PluginContext context;
    OEMUIOBJ uiObject = {};
    OEMCUIPPARAM param = {};
    CPSUICBPARAM callback = {};
};

TEST_F(RenderingCallbackTest, OtherReasonsAreAnsweredWithoutTouchingAnything) {
    struct Case {
        WORD reason;
        LONG action;
    };
    const Case cases[] = {{CPSUICB_REASON_APPLYNOW, CPSUICB_ACTION_ITEMS_APPLIED}, {3, CPSUICB_ACTION_OPTIF_CHANGED},
                          {1, CPSUICB_ACTION_OPTIF_CHANGED}, {5, CPSUICB_ACTION_OPTIF_CHANGED}};
    items.Item(colour).Sel = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        callback.Reason = c.reason;
        EXPECT_EQ(RenderingDependencyCallback(&callback, &param), c.action);
        EXPECT_EQ(Flags(), std::vector<DWORD>(items.Count(), 0));
        EXPECT_EQ(Selections(), (std::vector<LONG>{0, 0, 0, 1, 1}));
        EXPECT_TRUE(helper.updates.empty());
    }
}

TEST_F(RenderingCallbackTest, MonochromeDisablesTheRenderingItemAndColourEnablesIt) {
    EXPECT_EQ(Select(0), CPSUICB_ACTION_OPTIF_CHANGED);
    EXPECT_EQ(Flags(), (std::vector<DWORD>{0, 0, 0, OPTIF_DISABLED, 0}));
    EXPECT_EQ(Selections(), (std::vector<LONG>{0, 0, 0, 0, 1})) << "only the first rendering item follows";

    items.Item(rendering).Flags |= OPTIF_HIDE;
    EXPECT_EQ(Select(1), CPSUICB_ACTION_OPTIF_CHANGED);
    EXPECT_EQ(Flags(), (std::vector<DWORD>{0, 0, 0, OPTIF_HIDE, 0})) << "only the disabled flag changes";
    EXPECT_EQ(Selections(), (std::vector<LONG>{0, 1, 0, 1, 1}));

    EXPECT_EQ(Select(2), CPSUICB_ACTION_OPTIF_CHANGED);
    EXPECT_EQ(items.Item(rendering).Sel, 2) << "index for index";
}

TEST_F(RenderingCallbackTest, TheHostDriverIsToldOncePerChange) {
    Select(1);
    ASSERT_EQ(helper.updates.size(), 1u);
    EXPECT_EQ(helper.updates[0].pci, &uiObject);
    EXPECT_EQ(helper.updates[0].item, &items.Item(rendering));
    EXPECT_EQ(helper.updates[0].previousSelection, 0u);
    EXPECT_EQ(helper.updates[0].mode, OEMCUIP_DOCPROP);
    Select(0);
    EXPECT_EQ(helper.updates.size(), 2u);
}

TEST_F(RenderingCallbackTest, WithoutContextOrHelperTheItemStillChanges) {
    struct Case {
        const char* name;
        bool userData;
        bool driverHelper;
    };
    const Case cases[] = {{"no pOEMUserData", false, true}, {"no driver helper", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        param.pOEMUserData = c.userData ? &context : nullptr;
        context.driverHelper.reset(c.driverHelper ? &helper : nullptr);
        EXPECT_EQ(Select(0), CPSUICB_ACTION_OPTIF_CHANGED);
        EXPECT_EQ(items.Item(rendering).Flags, OPTIF_DISABLED);
        EXPECT_EQ(Select(1), CPSUICB_ACTION_OPTIF_CHANGED);
        EXPECT_EQ(items.Item(rendering).Flags, 0u);
        EXPECT_TRUE(helper.updates.empty());
    }
}

TEST_F(RenderingCallbackTest, ChangesOfOtherItemsChangeNothing) {
    for (int changed : {0, 2, rendering}) {
        SCOPED_TRACE(changed);
        callback.pCurItem = &items.Item(changed);
        items.Item(changed).Sel = 0;
        EXPECT_EQ(RenderingDependencyCallback(&callback, &param), CPSUICB_ACTION_OPTIF_CHANGED);
        EXPECT_EQ(Flags(), std::vector<DWORD>(items.Count(), 0));
        EXPECT_TRUE(helper.updates.empty());
    }
}

TEST_F(RenderingCallbackTest, WithoutARenderingItemNothingChanges) {
    struct Case {
        const char* name;
        DWORD count;
    };
    // The first three items hold no rendering item.
    const Case cases[] = {{"no items", 0}, {"items before the rendering item only", 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        param.cDrvOptItems = c.count;
        EXPECT_EQ(Select(0), CPSUICB_ACTION_OPTIF_CHANGED);
        EXPECT_EQ(Flags(), std::vector<DWORD>(items.Count(), 0));
        EXPECT_TRUE(helper.updates.empty());
    }
    param.pDrvOptItems = nullptr;
    param.cDrvOptItems = items.Count();
    EXPECT_EQ(Select(0), CPSUICB_ACTION_OPTIF_CHANGED);
    EXPECT_EQ(Flags(), std::vector<DWORD>(items.Count(), 0));
}

TEST_F(RenderingCallbackTest, TheRenderingItemIsKnownByItsExactHostKeyword) {
    for (const char* keyword : {"QZRenderin", "QZRenderings", "qzrendering", "*QZRendering"}) {
        SCOPED_TRACE(keyword);
        ItemArray other({Item("", DMPUB_COLOR, 0), Item(keyword, 0, 1)});
        param.pDrvOptItems = other.Items();
        param.cDrvOptItems = other.Count();
        callback.pCurItem = &other.Item(0);
        EXPECT_EQ(RenderingDependencyCallback(&callback, &param), CPSUICB_ACTION_OPTIF_CHANGED);
        EXPECT_EQ(other.Item(1).Flags, 0u);
        EXPECT_EQ(other.Item(1).Sel, 1);
    }
}

TEST_F(RenderingCallbackTest, MissingHostRecordsAreAnsweredWithoutTouchingAnything) {
    EXPECT_EQ(RenderingDependencyCallback(nullptr, &param), CPSUICB_ACTION_OPTIF_CHANGED);
    EXPECT_EQ(RenderingDependencyCallback(&callback, nullptr), CPSUICB_ACTION_OPTIF_CHANGED);
    callback.pCurItem = nullptr;
    EXPECT_EQ(RenderingDependencyCallback(&callback, &param), CPSUICB_ACTION_OPTIF_CHANGED);
    EXPECT_EQ(Flags(), std::vector<DWORD>(items.Count(), 0));
}

}  // namespace
