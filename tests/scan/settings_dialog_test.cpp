// The settings dialog headless, through the real message path: first start, the checks of OK in their
// order, the write probe, Browse, Cancel and Help; and the settings file's bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "DialogResources.h"
#include "PushScanSettings.h"
#include "ScanManagerDlg.h"
#include "support/dialog_machine.h"
#include "win/com.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"
#include "win/time.h"

namespace {

namespace dlg = platform::dialogs;
using scantest::answerErrorBox;
using scantest::DialogMachine;
using scantest::DialogSetup;
using scantest::kSettingsFile;
using scantest::runModal;

// The file's bytes, typed from its layout: two int32 flags, then 260 UTF-16 units.
std::string settingsBytes(int32_t autoOpen, int32_t openFolder, std::u16string_view folder) {
    std::string bytes(528, '\0');
    std::memcpy(bytes.data(), &autoOpen, 4);
    std::memcpy(bytes.data() + 4, &openFolder, 4);
    for (size_t i = 0; i < folder.size(); ++i) {
        bytes[8 + 2 * i] = static_cast<char>(folder[i] & 0xFF);
        bytes[9 + 2 * i] = static_cast<char>(folder[i] >> 8);
    }
    return bytes;
}

// A folder path of exactly `length` characters below C:\ (made on the machine).
std::u16string folderOfLength(size_t length) {
    std::u16string path = u"C:\\Scans";
    CreateDirectoryW(path.c_str(), nullptr);
    while (path.size() + 1 < length) {
        const size_t part = std::min<size_t>(40, length - path.size() - 1);
        path += u"\\" + std::u16string(part, u'd');
        CreateDirectoryW(path.c_str(), nullptr);
    }
    path.resize(std::min(path.size(), length));
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::u16string probeName(const std::u16string& folder, int secondsLater) {
    // The time the tests set: 2026-03-07 09:05:00.
    const int second = secondsLater % 60, minute = 5 + secondsLater / 60;
    char name[40];
    std::snprintf(name, sizeof name, "2603070905%02dtemp.dat", second);
    if (minute != 5) std::snprintf(name, sizeof name, "26030709%02d%02dtemp.dat", minute, second);
    return folder + u"\\" + platform::fromUtf8(name);
}

TEST(SettingsDialog, FirstStartShowsTheDefaultsAndWritesThemAtOnce) {
    struct Case {
        DWORD osMajor;
        std::u16string folder;
    };
    for (const Case& c : {Case{10, u"C:\\Users\\User\\Pictures"}, Case{6, u"C:\\Users\\User\\Pictures"},
                          Case{5, u"C:\\Users\\User\\Documents"}}) {
        SCOPED_TRACE(c.osMajor);
        DialogSetup setup;
        setup.osMajor = c.osMajor;
        DialogMachine m(setup);
        ASSERT_FALSE(m.machine.readFile(kSettingsFile));
        CScanManagerDlg dialog;
        const INT_PTR result = runModal(dialog, [&](HWND d) {
            EXPECT_EQ(dlg::controlText(d, IDC_EDIT_FOLDER), c.folder);
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_EDIT_FOLDER)));
            EXPECT_EQ(SendDlgItemMessageW(d, IDC_EDIT_FOLDER, EM_GETLIMITTEXT, 0, 0), 200);
            EXPECT_EQ(dlg::checkState(d, IDC_CHECK_AUTO_OPEN), BST_UNCHECKED);
            EXPECT_EQ(dlg::checkState(d, IDC_CHECK_OPEN_FOLDER), BST_CHECKED);
            // The title from the product INI is what another instance looks for (string 8005).
            WCHAR title[64] = {};
            GetWindowTextW(d, title, 64);
            EXPECT_EQ(std::u16string(title), u"Push Scan");
            EXPECT_EQ(std::u16string(title), m.text(IDS_WINDOW_TITLE));
            const struct {
                int control;
                UINT string;
            } texts[] = {{IDC_STATIC_FOLDER, 8006}, {IDC_BUTTON_BROWSE, 8007}, {IDC_CHECK_AUTO_OPEN, 8008},
                         {IDOK, 8011},              {IDCANCEL, 8010},          {ID_HELP, 8009}};
            for (const auto& t : texts) EXPECT_EQ(dlg::controlText(d, t.control), m.text(t.string)) << t.control;
            EXPECT_EQ(dlg::controlText(d, IDC_CHECK_OPEN_FOLDER), u"Open the folder after scanning");
            // Written before anything is chosen.
            EXPECT_EQ(m.machine.readFile(kSettingsFile), settingsBytes(0, 1, c.folder));
            EXPECT_NE(SendMessageW(d, WM_GETICON, ICON_BIG, 0), 0);
            dlg::clickButton(d, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(m.machine.readFile(kSettingsFile), settingsBytes(0, 1, c.folder));
    }
}

// OK's checks, each in its turn: the first that fails shows its string, the focus goes to the folder,
// the dialog stays open and nothing is saved; a folder that passes them all is saved.
TEST(SettingsDialog, OkChecksTheFolderInOrder) {
    struct Case {
        const char* name;
        std::function<std::u16string()> folder;  // made on the machine as needed
        UINT error;                              // 0: saved
    };
    const Case cases[] = {
        {"empty", [] { return std::u16string(); }, 8015},
        {"missing", [] { return std::u16string(u"C:\\Missing"); }, 8016},
        {"a file", [] {
             HANDLE f = CreateFileW(u"C:\\file.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
             CloseHandle(f);
             return std::u16string(u"C:\\file.txt");
         }, 8016},
        {"relative with a dot", [] {
             CreateDirectoryW(u"C:\\Scans", nullptr);
             return std::u16string(u".\\Scans");
         }, 8016},
        {"from the drive's root", [] {
             CreateDirectoryW(u"C:\\Scans", nullptr);
             return std::u16string(u"\\Scans");
         }, 8016},
        {"200 characters", [] { return folderOfLength(200); }, 8022},
        {"200 characters with the backslash", [] { return folderOfLength(199) + u"\\"; }, 0},
        {"199 characters", [] { return folderOfLength(199); }, 0},
        {"an existing folder", [] { return std::u16string(u"C:\\Users\\User\\Pictures"); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogMachine m;
        const std::u16string folder = c.folder();
        const std::string before = settingsBytes(1, 0, folder);
        m.machine.writeFile(kSettingsFile, before);
        CScanManagerDlg dialog;
        const INT_PTR result = runModal(dialog, [&](HWND d) {
            EXPECT_EQ(dlg::controlText(d, IDC_EDIT_FOLDER), folder);
            EXPECT_EQ(answerErrorBox(d, IDOK), c.error ? m.text(c.error) : u"");
            if (IsWindowVisible(d)) {
                EXPECT_EQ(dlg::focusedControl(d), GetDlgItem(d, IDC_EDIT_FOLDER));
                dlg::clickButton(d, IDCANCEL);
            }
        });
        EXPECT_EQ(result, c.error ? IDCANCEL : IDOK);
        std::u16string saved = folder;
        EXPECT_EQ(m.machine.readFile(kSettingsFile), c.error ? before : settingsBytes(1, 0, saved));
        if (!c.error) {
            // The probe is gone again.
            std::u16string probeFolder = folder.back() == u'\\' ? folder.substr(0, folder.size() - 1) : folder;
            for (const std::string& name : m.machine.filesIn(probeFolder))
                EXPECT_EQ(name.find("temp"), std::string::npos) << name;
        }
    }
}

// The write probe makes a fresh file of its own: one of that name (a user's, or a second launch's in
// the same second) is left alone and another name is taken; only other failures refuse the folder.
TEST(SettingsDialog, TheWriteProbeNeverTouchesAnExistingFile) {
    const std::u16string folder = u"C:\\Users\\User\\Pictures";
    struct Case {
        const char* name;
        bool readOnly;   // every probe name fails as on a read-only medium
        bool existing;   // files of the probe's names are there already
        UINT error;
    };
    for (const Case& c : {Case{"read-only medium", true, false, 8021}, Case{"names taken", false, true, 0}}) {
        SCOPED_TRACE(c.name);
        DialogMachine m;
        platform::setLocalTime({2026, 3, 7, 9, 5, 0});
        m.machine.writeFile(kSettingsFile, settingsBytes(0, 1, folder));
        // The machine clock moves while the dialog waits: every second of the next two minutes.
        for (int s = 0; s < 120; ++s) {
            if (c.readOnly)
                platform::setFault("CreateFile", platform::Fault()
                                                     .failing(-1)
                                                     .withError(ERROR_WRITE_PROTECT)
                                                     .onlyFor(platform::toUtf8(probeName(folder, s))));
            if (c.existing) m.machine.writeFile(probeName(folder, s), "mine");
        }
        CScanManagerDlg dialog;
        const INT_PTR result = runModal(dialog, [&](HWND d) {
            EXPECT_EQ(answerErrorBox(d, IDOK), c.error ? m.text(c.error) : u"");
            if (IsWindowVisible(d)) dlg::clickButton(d, IDCANCEL);
        });
        EXPECT_EQ(result, c.error ? IDCANCEL : IDOK);
        if (c.readOnly) {
            EXPECT_GT(platform::callCount("CreateFile"), 1);
        }
        for (int s = 0; c.existing && s < 120; ++s) EXPECT_EQ(m.machine.readFile(probeName(folder, s)), "mine");
        EXPECT_EQ(m.machine.filesIn(folder).size(), c.existing ? 120u : 0u);
        platform::clearFaults();
    }
}

TEST(SettingsDialog, ASettingsFileThatCannotBeWrittenIsReportedAndTheDialogStays) {
    DialogMachine m;
    const std::string before = settingsBytes(0, 1, u"C:\\Users\\User\\Pictures");
    m.machine.writeFile(kSettingsFile, before);
    CScanManagerDlg dialog;
    const INT_PTR result = runModal(dialog, [&](HWND d) {
        dlg::clickButton(d, IDC_CHECK_AUTO_OPEN);
        platform::setFault("CreateFile", platform::Fault().failing(-1).onlyFor(platform::toUtf8(kSettingsFile)));
        EXPECT_EQ(answerErrorBox(d, IDOK), m.text(8021));
        platform::clearFaults();
        EXPECT_EQ(dlg::findDialogs({}, 8000).size(), 1u);
        EXPECT_EQ(answerErrorBox(d, IDOK), u"");
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(m.machine.readFile(kSettingsFile), settingsBytes(1, 1, u"C:\\Users\\User\\Pictures"));
}

TEST(SettingsDialog, CancelSavesNothing) {
    DialogMachine m;
    const std::string before = settingsBytes(0, 1, u"C:\\Users\\User\\Pictures");
    m.machine.writeFile(kSettingsFile, before);
    platform::queueFolderBrowserAnswer(u"C:\\Users\\User\\Documents");
    CScanManagerDlg dialog;
    const INT_PTR result = runModal(dialog, [&](HWND d) {
        dlg::clickButton(d, IDC_CHECK_AUTO_OPEN);
        dlg::clickButton(d, IDC_CHECK_OPEN_FOLDER);
        dlg::clickButton(d, IDC_BUTTON_BROWSE);
        EXPECT_EQ(dlg::controlText(d, IDC_EDIT_FOLDER), u"C:\\Users\\User\\Documents");
        dlg::clickButton(d, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(m.machine.readFile(kSettingsFile), before);
}

TEST(SettingsDialog, BrowseChoosesAFolderOrIsCancelled) {
    struct Case {
        const char* name;
        std::optional<std::u16string> answer;
        std::u16string shown;
        std::vector<UINT> callbackMessages;
    };
    const Case cases[] = {
        {"chosen", u"C:\\Users\\User\\Documents", u"C:\\Users\\User\\Documents",
         {BFFM_INITIALIZED, BFFM_SELCHANGED, BFFM_SELCHANGED}},
        {"cancelled", std::nullopt, u"C:\\Users\\User\\Pictures", {BFFM_INITIALIZED, BFFM_SELCHANGED}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DialogMachine m;
        m.machine.writeFile(kSettingsFile, settingsBytes(0, 1, u"C:\\Users\\User\\Pictures"));
        platform::queueFolderBrowserAnswer(c.answer);
        const size_t blocks = platform::liveTaskMemoryBlocks();
        CScanManagerDlg dialog;
        runModal(dialog, [&](HWND d) {
            dlg::clickButton(d, IDC_BUTTON_BROWSE);
            EXPECT_EQ(dlg::controlText(d, IDC_EDIT_FOLDER), c.shown);
            dlg::clickButton(d, IDOK);
        });
        auto browses = platform::folderBrowses();
        ASSERT_EQ(browses.size(), 1u);
        EXPECT_EQ(browses[0].flags, 0x1053u);
        // The callback selected the saved folder when the browser came up.
        EXPECT_EQ(browses[0].selected, u"C:\\Users\\User\\Pictures");
        EXPECT_EQ(browses[0].callbackMessages, c.callbackMessages);
        EXPECT_EQ(browses[0].chosen, c.answer);
        EXPECT_EQ(platform::liveTaskMemoryBlocks(), blocks);
        EXPECT_EQ(m.machine.readFile(kSettingsFile), settingsBytes(0, 1, c.shown));
    }
}

TEST(SettingsDialog, HelpOpensTheHelpFileOfTheCurrentLanguage) {
    struct Case {
        std::u16string language;
        std::string code;
        std::u16string helpFile;
    };
    const Case cases[] = {
        {u"English", "enus", u"C:\\Program Files\\Qelmar\\vrx4410khenus.chm"},
        {u"Japanese", "ja", u"C:\\Program Files\\Qelmar\\vrx4410khja.chm"},
        {u"Portuguese", "zhcn", u"C:\\Program Files\\Qelmar\\vrx4410khenus.chm"},  // not recognised: the locale's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.language));
        DialogMachine m({c.language, c.code});
        CScanManagerDlg dialog;
        HWND shown = nullptr;
        runModal(dialog, [&](HWND d) {
            shown = d;
            dlg::clickButton(d, ID_HELP);
            dlg::clickButton(d, IDCANCEL);
        });
        auto actions = platform::shellActions();
        ASSERT_EQ(actions.size(), 1u);
        EXPECT_EQ(actions[0].call, "HtmlHelpW");
        EXPECT_EQ(actions[0].verb, u"HH_DISPLAY_TOPIC");
        EXPECT_EQ(actions[0].file, c.helpFile);
    }
}

// ---- The settings file ------------------------------------------------------------------------------

TEST(SettingsFile, BytesAreReadOnlyWhenTheFileIsWhole) {
    struct Case {
        const char* name;
        std::string bytes;
        bool read;
        std::u16string folder;
    };
    std::string unterminated = settingsBytes(1, 0, std::u16string(260, u'x'));
    std::string longer = settingsBytes(1, 0, u"C:\\Scans") + "trailing";
    const Case cases[] = {
        {"whole", settingsBytes(1, 0, u"C:\\Scans"), true, u"C:\\Scans"},
        {"longer", longer, true, u"C:\\Scans"},
        {"no terminator", unterminated, true, std::u16string(259, u'x')},
        {"one byte short", settingsBytes(1, 0, u"C:\\Scans").substr(0, 527), false, u""},
        {"empty", "", false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PushScanSettings s{7, 7, {u'q', 0}};
        EXPECT_EQ(ParsePushScanSettings(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size(), &s), c.read);
        if (c.read) {
            EXPECT_EQ(s.bAutoOpen, 1);
            EXPECT_EQ(s.bOpenFolder, 0);
            EXPECT_EQ(std::u16string(s.szSaveFolder), c.folder);
        } else {
            EXPECT_EQ(s.bAutoOpen, 7);  // untouched
        }
    }
}

// Both readers give the defaults for a short file, and neither writes over it; only the dialog writes
// a missing file.
TEST(SettingsFile, AShortOrMissingFileGivesTheDefaultsWithoutLosingIt) {
    for (bool present : {false, true}) {
        SCOPED_TRACE(present ? "short file" : "no file");
        DialogMachine m;
        if (present) m.machine.writeFile(kSettingsFile, "short");
        PushScanSettings s{};
        EXPECT_EQ(UpdatePushScanSettings(&s), 1);
        EXPECT_EQ(s.bAutoOpen, 0);
        EXPECT_EQ(s.bOpenFolder, 1);
        EXPECT_EQ(std::u16string(s.szSaveFolder), u"C:\\Users\\User\\Pictures");
        EXPECT_EQ(m.machine.readFile(kSettingsFile), present ? std::optional<std::string>("short") : std::nullopt);
        CScanManagerDlg dialog;
        runModal(dialog, [&](HWND d) {
            EXPECT_EQ(dlg::controlText(d, IDC_EDIT_FOLDER), u"C:\\Users\\User\\Pictures");
            dlg::clickButton(d, IDCANCEL);
        });
        EXPECT_EQ(m.machine.readFile(kSettingsFile),
                  present ? std::string("short") : settingsBytes(0, 1, u"C:\\Users\\User\\Pictures"));
    }
}

}  // namespace
