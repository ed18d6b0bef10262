// The uninstaller's texts: the heading put in place of "%Text%", captions from the current resource
// module with "Load String Error!" for a missing one, and the program's own Simplified Chinese table.
#include <gtest/gtest.h>

#include "SetupResources.h"
#include "SetupTexts.h"
#include "afx/afxres.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "win/kernel.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

TEST(ReplaceHeading, EveryMarkerCaseSensitively) {
    const struct {
        const char16_t* text;
        const char16_t* heading;
        const char16_t* result;
    } cases[] = {
        {u"%Text% and %Text%", u"M2100", u"M2100 and M2100"},
        {u"no marker", u"M2100", u"no marker"},
        {u"%text% stays", u"M2100", u"%text% stays"},
        {u"%Text%", u"%Text%", u"%Text%"},  // a heading holding the marker is not replaced again
        {u"%Text%", u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(uninstall::ReplaceHeading(c.text, c.heading), c.result);
}

TEST(SetDialogTexts, CaptionsCarryTheHeadingAndAMissingIdSaysSo) {
    platform::testing::Machine machine;
    platform::resources::ResourceFile library;
    library.strings[239] = u"Welcome to %Text%, %Text%!";
    library.strings[177] = u"";  // empty counts as missing
    library.strings[194] = u"Name of %Text%";
    machine.writeFile(u"C:\\Windows\\System32\\spool\\drivers\\x64\\ZDUnstest.dll", rescomp::writeResourceFile(library));
    HMODULE module = LoadLibraryW(u"C:\\Windows\\System32\\spool\\drivers\\x64\\ZDUnstest.dll");
    ASSERT_NE(module, nullptr);
    AfxSetResourceHandle(module);
    uninstall::ProductHeading() = u"Zandrel M2100 Series";
    HWND page = CreateWindowExW(0, u"STATIC", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    for (int id : {1046, 1, 2})
        CreateWindowExW(0, u"STATIC", u"old", WS_CHILD, 0, 0, 5, 5, page, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)),
                        nullptr, nullptr);
    const uninstall::ControlText texts[] = {{1046, 239}, {1, 177}, {2, 160}};
    uninstall::SetDialogTexts(page, texts, 3);
    WCHAR text[128] = {};
    GetDlgItemTextW(page, 1046, text, 128);
    EXPECT_EQ(std::u16string(text), u"Welcome to Zandrel M2100 Series, Zandrel M2100 Series!");
    GetDlgItemTextW(page, 1, text, 128);
    EXPECT_EQ(std::u16string(text), u"Load String Error!");
    GetDlgItemTextW(page, 2, text, 128);
    EXPECT_EQ(std::u16string(text), u"Load String Error!");
    // Message texts: missing gives empty; column headings come as stored.
    EXPECT_EQ(uninstall::LoadHeadedText(160), u"");
    std::u16string heading;
    EXPECT_TRUE(uninstall::LoadResourceText(194, heading));
    EXPECT_EQ(heading, u"Name of %Text%");
    EXPECT_FALSE(uninstall::LoadResourceText(235, heading));
    EXPECT_EQ(heading, u"");
    DestroyWindow(page);
    AfxSetResourceHandle(AfxGetInstanceHandle());
    FreeLibrary(module);
}

TEST(OwnResources, TheProgramCarriesItsSimplifiedChineseTextsAndTemplates) {
    AfxSetResourceHandle(AfxGetInstanceHandle());
    std::u16string text;
    ASSERT_TRUE(uninstall::LoadResourceText(IDS_RESTART_QUESTION, text));
    EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 2);
    EXPECT_NE(text.find(u"\n\n您确定要执行重启电脑的操作吗？"), std::u16string::npos);
    ASSERT_TRUE(uninstall::LoadResourceText(IDS_CAPTION, text));
    EXPECT_EQ(text, u"Printer xxxx");
    auto main = platform::resources::findDialog(AfxGetInstanceHandle(), IDD_UNINSTALL_MAIN);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->title, u"Printer Series");
    EXPECT_EQ(main->className, u"QELMAR SFP WNDCLASS_UNI");
    auto list = platform::resources::findDialog(AfxGetInstanceHandle(), IDD_UNINSTALL_LIST);
    ASSERT_TRUE(list);
    std::vector<std::pair<int, std::u16string>> buttons;
    for (const auto& c : list->controls)
        if (c.className == u"BUTTON") buttons.emplace_back(c.id, c.text);
    EXPECT_EQ(buttons, (std::vector<std::pair<int, std::u16string>>{{1051, u"删除一台"}, {1, u"全部删除"}, {2, u"退出"}}));
    auto complete = platform::resources::findDialog(AfxGetInstanceHandle(), IDD_UNINSTALL_COMPLETE);
    ASSERT_TRUE(complete);
    EXPECT_EQ(complete->controls.back().text, u"完成");
}

}  // namespace
