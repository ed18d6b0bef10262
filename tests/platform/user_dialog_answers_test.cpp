// Dialog templates that name a window class of the program's own, the system's dialog class before any
// window exists, and a person's answers queued in the machine: presses, list rows and message boxes
// taken in order by whichever dialog they fit, and journalled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/dialogs.h"
#include "platform/resources.h"
#include "platform/testing/machine.h"
#include "rescomp/script.h"
#include "rescomp/writer.h"
#include "win/kernel.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

namespace res = platform::resources;
using platform::DialogAnswer;
using platform::testing::Machine;

constexpr UINT kFrame = 141, kPage = 135;
constexpr int kList = 1052, kOne = 1051;
constexpr char16_t kFrameClass[] = u"QELMAR SFP WNDCLASS_UNI";

// A frame naming its own class, and a child page with a list and two buttons.
constexpr char kScript[] = R"(
DIALOG 141, 0, 0, 200, 120
    TITLE "Frame"
    CLASS "QELMAR SFP WNDCLASS_UNI"
BEGIN
END
DIALOG 135, 0, 0, 200, 120
    STYLE WS_CHILD | WS_VISIBLE
BEGIN
    CONTROL "", 1052, SysListView32, WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL, 5, 5, 190, 80
    CONTROL "One", 1051, BUTTON, WS_CHILD | WS_VISIBLE | WS_DISABLED, 5, 95, 50, 14
    CONTROL "All", 1, BUTTON, WS_CHILD | WS_VISIBLE, 60, 95, 50, 14
END
)";

HMODULE loadScript(const Machine& machine) {
    auto compiled = rescomp::compileScript(kScript, "frame.rc", machine.root());
    std::string error;
    auto bytes = rescomp::writeCompiled(compiled, error);
    EXPECT_TRUE(bytes) << error;
    machine.writeFile(u"C:\\Program Files\\Test\\frame.dll", bytes ? *bytes : std::string());
    return LoadLibraryW(u"C:\\Program Files\\Test\\frame.dll");
}

bool registerFrameClass() {
    WNDCLASSW dialogClass{};
    if (!GetClassInfoW(nullptr, WC_DIALOG, &dialogClass)) return false;
    dialogClass.lpszClassName = kFrameClass;
    return RegisterClassW(&dialogClass) != 0;
}
// Each test registers the class anew and takes it away again.
struct FrameClass {
    ~FrameClass() { UnregisterClassW(kFrameClass, nullptr); }
};

TEST(DialogClass, TheSystemDialogClassAnswersBeforeAnyWindowAndATemplateMakesItsOwnClass) {
    Machine machine;
    // No window was made in this process yet: "#32770" answers all the same.
    WNDCLASSEXW ex{};
    ex.cbSize = sizeof ex;
    ASSERT_TRUE(GetClassInfoExW(nullptr, WC_DIALOG, &ex));
    EXPECT_NE(ex.lpfnWndProc, nullptr);
    EXPECT_EQ(ex.cbWndExtra, DLGWINDOWEXTRA);

    HMODULE module = loadScript(machine);
    ASSERT_NE(module, nullptr);
    // Its class not registered: the template's dialog cannot be made.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CreateDialogParamW(module, MAKEINTRESOURCEW(kFrame), nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    FrameClass registered;
    ASSERT_TRUE(registerFrameClass());
    HWND frame = CreateDialogParamW(module, MAKEINTRESOURCEW(kFrame), nullptr, nullptr, 0);
    ASSERT_NE(frame, nullptr);
    WCHAR name[64] = {};
    GetClassNameW(frame, name, 64);
    EXPECT_EQ(std::u16string(name), kFrameClass);
    EXPECT_EQ(FindWindowW(kFrameClass, nullptr), frame);
    DestroyWindow(frame);
    FreeLibrary(module);
}

TEST(DialogClass, TheClassSurvivesTheResourceFileAndOnlyThere) {
    Machine machine;
    auto compiled = rescomp::compileScript(kScript, "frame.rc", machine.root());
    ASSERT_TRUE(compiled.file);
    std::string error;
    auto bytes = rescomp::writeCompiled(compiled, error);
    ASSERT_TRUE(bytes);
    auto parsed = res::parse(*bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->dialogs.at(kFrame).className, kFrameClass);
    EXPECT_TRUE(parsed->dialogs.at(kPage).className.empty());

    // A class entry with no dialog of its id, or one that is empty, is damage.
    res::ResourceFile lone;
    lone.dialogs[7].className = u"Lone";
    std::string written = rescomp::writeResourceFile(lone);
    std::string why;
    ASSERT_TRUE(res::parse(written, &why)) << why;
    // Point the class entry (the second of the directory) at another id.
    written[res::kHeaderSize + res::kEntrySize + 4] = 8;
    rescomp::sealChecksum(written);
    EXPECT_FALSE(res::parse(written, &why));
    EXPECT_NE(why.find("names no dialog"), std::string::npos) << why;

    const struct {
        const char* script;
        const char* message;
    } refused[] = {
        {"DIALOG 5, 0, 0, 10, 10\n CLASS \"\"\nBEGIN\nEND\n", "1 to 256 characters"},
        {"DIALOG 5, 0, 0, 10, 10\n CLASS\nBEGIN\nEND\n", "window class"},
    };
    for (const auto& r : refused) {
        auto result = rescomp::compileScript(r.script, "bad.rc", machine.root());
        ASSERT_FALSE(result.file) << r.script;
        ASSERT_FALSE(result.errors.empty());
        EXPECT_NE(result.errors[0].find(r.message), std::string::npos) << result.errors[0];
    }
}

TEST(DialogAnswers, QueueLinesAreReadStrictly) {
    const struct {
        const char* line;
        bool ok;
        DialogAnswer::Kind kind;
    } lines[] = {
        {"press 135 1", true, DialogAnswer::Press},        {"select 135 1052 2", true, DialogAnswer::Select},
        {"box 2\r", true, DialogAnswer::Box},              {"press 135", false, {}},
        {"press 0 1", false, {}},                          {"select 135 1052 -1", false, {}},
        {"box 1x", false, {}},                             {"box 99999999999999999999", false, {}},
        {"click 135 1", false, {}},                        {"", false, {}},
    };
    for (const auto& l : lines) {
        auto a = platform::parseDialogAnswer(l.line);
        EXPECT_EQ(a.has_value(), l.ok) << l.line;
        if (!a || !l.ok) continue;
        EXPECT_EQ(a->kind, l.kind) << l.line;
        std::string line = l.line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        EXPECT_EQ(platform::formatDialogAnswer(*a), line);
    }
}

// A frame with the page as its child, run modally: the page's "All" ends the frame with IDOK after a
// box; a row selected enables "One".
struct PageRun {
    std::vector<int> boxAnswers;
    bool oneEnabledAfterSelect = false;
};

INT_PTR CALLBACK pageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<PageRun*>(GetWindowLongPtrW(page, GWLP_USERDATA));
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == NM_CLICK && run) {
        const bool one = SendDlgItemMessageW(page, kList, LVM_GETSELECTEDCOUNT, 0, 0) == 1;
        EnableWindow(GetDlgItem(page, kOne), one);
        run->oneEnabledAfterSelect = one;
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK && run) {
        run->boxAnswers.push_back(MessageBoxW(GetParent(page), u"Really?", u"Question", MB_OKCANCEL));
        if (run->boxAnswers.back() == IDOK) EndDialog(GetParent(page), IDOK);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK frameProc(HWND frame, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_INITDIALOG) return FALSE;
    HMODULE module = reinterpret_cast<HMODULE>(GetWindowLongPtrW(frame, GWLP_HINSTANCE));
    HWND page = CreateDialogParamW(module, MAKEINTRESOURCEW(kPage), frame, pageProc, 0);
    SetWindowLongPtrW(page, GWLP_USERDATA, lParam);
    HWND list = GetDlgItem(page, kList);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 200;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    for (const char16_t* text : {u"Second", u"First"}) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.pszText = const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(text));
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    return TRUE;
}

TEST(DialogAnswers, QueuedAnswersAreTakenInOrderByTheDialogsTheyFitAndJournalled) {
    Machine machine;
    platform::setProgramPath(u"C:\\Windows\\System32\\spool\\drivers\\x64\\setup.exe");
    HMODULE module = loadScript(machine);
    FrameClass registered;
    ASSERT_TRUE(registerFrameClass());
    // "One" is disabled until a row is chosen: its press waits, in order, behind the row's selection.
    platform::queueDialogAnswers({{DialogAnswer::Press, kPage, IDOK}, {DialogAnswer::Box, 0, 0, 0, IDCANCEL},
                                  {DialogAnswer::Select, kPage, kList, 1}, {DialogAnswer::Press, kPage, IDOK},
                                  {DialogAnswer::Box, 0, 0, 0, IDOK}});
    platform::queueDialogAnswers({});
    PageRun run;
    const INT_PTR result = DialogBoxParamW(module, MAKEINTRESOURCEW(kFrame), nullptr, frameProc, reinterpret_cast<LPARAM>(&run));
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(run.boxAnswers, (std::vector<int>{IDCANCEL, IDOK}));
    EXPECT_TRUE(run.oneEnabledAfterSelect);
    EXPECT_TRUE(platform::queuedDialogAnswers().empty());
    const auto answered = platform::answeredDialogs();
    std::vector<std::string> lines;
    for (const auto& a : answered) {
        lines.push_back(a.answer);
        EXPECT_TRUE(a.carriedOut);
        EXPECT_EQ(a.processId, GetCurrentProcessId());
        EXPECT_EQ(a.program, u"C:\\Windows\\System32\\spool\\drivers\\x64\\setup.exe");
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"press 135 1", "box 2", "select 135 1052 1", "press 135 1", "box 1"}));
    EXPECT_EQ(answered[1].title, u"Question");
    FreeLibrary(module);
}

TEST(DialogAnswers, AMalformedLineIsTakenAsNotCarriedOutAndAnAnswerForNoDialogWaits) {
    Machine machine;
    HMODULE module = loadScript(machine);
    FrameClass registered;
    ASSERT_TRUE(registerFrameClass());
    // As a person's script writes the queue.
    std::filesystem::create_directories(machine.root() / "dialogs");
    std::ofstream(machine.root() / "dialogs" / "answers", std::ios::app) << "wave at it\npress 999 1\n";
    // A test's watchdog ends the frame, which nothing else answers.
    platform::dialogs::setUnscriptedDialogHandler([](const auto&) {}, 2000);
    PageRun run;
    EXPECT_EQ(DialogBoxParamW(module, MAKEINTRESOURCEW(kFrame), nullptr, frameProc, reinterpret_cast<LPARAM>(&run)), IDCANCEL);
    platform::dialogs::setUnscriptedDialogHandler(nullptr);
    const auto answered = platform::answeredDialogs();
    ASSERT_EQ(answered.size(), 1u);
    EXPECT_EQ(answered[0].answer, "wave at it");
    EXPECT_FALSE(answered[0].carriedOut);
    EXPECT_EQ(platform::queuedDialogAnswers(), std::vector<std::string>{"press 999 1"});
    FreeLibrary(module);
}

}  // namespace
