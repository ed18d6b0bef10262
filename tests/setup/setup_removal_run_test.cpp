// The real program `setup` removing the product from machines it was laid down on (with another
// vendor's items beside its own), driven by a person's queued answers and diffed before and after:
// delete all answered Cancel or OK to the restart question, a printer-only product on Server 2008 R2,
// delete one, an empty product folder list, and a run that leaves something for a second run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "ProductInstall.h"
#include "support/setup_machine.h"
#include "win/processes.h"

namespace {

using namespace setup_test;
using platform::testing::diff;
using platform::testing::snapshot;

constexpr char16_t kProgramFolder[] = u"C:\\Program Files\\Zandrel\\M2100";
constexpr char16_t kSystemProductFolder[] = u"C:\\Windows\\System32\\Zandrel";

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) text.replace(at, from.size(), to);
}

// The configuration of tests/uninstall/data, naming the scan programs as this project installs them.
std::string configBytes() {
    std::ifstream in(std::string(MFP_SOURCE_DIR) + "/tests/uninstall/data/SetupCFG.xml", std::ios::binary);
    std::string xml{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    replaceAll(xml, "<pushexe>C:\\Program Files\\Zandrel\\M2100\\Orlith.exe</pushexe>",
               "<pushexe>C:\\Program Files\\Zandrel\\M2100\\vrx4410PushScan.exe</pushexe>");
    replaceAll(xml, "<TwainMutex>Local\\ZD_SCANAPPFLAG</TwainMutex>", "<TwainMutex>Local\\vrx4410_SCANAPPFLAG</TwainMutex>");
    return xml;
}

bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool anyLine(const std::vector<std::string>& lines, const std::string& prefix, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0 && l.find(text) != std::string::npos; });
}

class SetupRemovalRun : public ::testing::Test {
protected:
    void install(platform::MachineSettings settings = {}, const std::string& xml = configBytes()) {
        machine.reset();
        // A box nobody answers ends the run; the main window itself stays while the removal runs.
        settings.dismissDialogsAfter = 30000;
        machine = std::make_unique<platform::testing::Machine>(settings);
        platform::keepFromDismissal({IDD_UNINSTALL_MAIN});
        productinstall::InstallOptions options;
        options.configBytes = xml;
        options.difxLibrary = DIFX_STANDIN;
        options.rundll32Program = RUNDLL32_STANDIN;
        options.setupProgram = SETUP_PROGRAM;
        options.neighbours = true;
        std::string why;
        ASSERT_TRUE(productinstall::InstallProduct(options, why)) << why;
        for (const char* library : {"ZDUnsenus.dll", "ZDUnsar.dll", "ZDUnszhcn.dll", "ZDUnsbmp.dll"})
            std::filesystem::copy_file(std::filesystem::path(MFP_LIB_DIR) / library,
                                       machine->host(std::u16string(kDriverFolder) + platform::fromUtf8(library)),
                                       std::filesystem::copy_options::overwrite_existing);
        // The program file read-only, as a copy from a medium may leave it: the batch must clear that.
        SetFileAttributesW(kSetupPath, FILE_ATTRIBUTE_READONLY);
        machine->writeFile(u"C:\\Windows\\System32\\sentinel.txt", "sentinel");
        platform::setCallJournal(true);
        platform::setFileCallJournal(true);
    }

    // Runs the program as a person starts it, with the queued answers; its exit code.
    DWORD runProgram(const std::vector<DialogAnswer>& answers) {
        platform::clearDialogAnswers();
        platform::clearShellActions();
        platform::queueDialogAnswers(answers);
        std::u16string commandLine = u"\"" + std::u16string(kSetupPath) + u"\" -uninstall";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(kSetupPath, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            ADD_FAILURE() << "not started";
            return 0;
        }
        DWORD code = STILL_ACTIVE;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < end) {
            GetExitCodeProcess(process.hProcess, &code);
            if (code != STILL_ACTIVE) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_TRUE(platform::queuedDialogAnswers().empty());
        EXPECT_TRUE(platform::dismissedDialogs().empty());
        return code;
    }

    // Delete all, then Finish, then the restart question answered with `restart`.
    static std::vector<DialogAnswer> deleteAllAnswers(int restart) {
        return {{DialogAnswer::Press, IDD_UNINSTALL_LIST, IDOK},
                {DialogAnswer::Press, IDD_UNINSTALL_COMPLETE, IDOK},
                {DialogAnswer::Box, 0, 0, 0, restart}};
    }

    static std::vector<std::u16string> boxTexts() {
        std::vector<std::u16string> texts;
        for (const auto& a : platform::answeredDialogs())
            if (a.answer.rfind("box ", 0) == 0) texts.push_back(a.text);
        return texts;
    }

    static bool batchStarted() {
        for (const platform::ShellAction& action : platform::shellActions())
            if (action.call == "ShellExecuteW" && action.verb == u"open" && action.show == SW_HIDE &&
                action.file.ends_with(u"\\DelSelf.bat"))
                return true;
        return false;
    }

    // The call journal's lines, in order, as "Call arguments".
    static std::vector<std::string> calls() {
        std::vector<std::string> out;
        for (const platform::CallRecord& record : platform::callJournal())
            out.push_back(record.call + " " + platform::toUtf8(record.arguments));
        return out;
    }

    static size_t firstCall(const std::vector<std::string>& journal, const std::string& text) {
        const auto found = std::find_if(journal.begin(), journal.end(),
                                        [&](const std::string& line) { return line.find(text) != std::string::npos; });
        return static_cast<size_t>(found - journal.begin());
    }

    // The product gone, its neighbours kept, and what stays for the batch: the program and its
    // configuration.
    void expectProductGoneNeighboursKept(const std::vector<std::string>& changes) {
        for (const std::string& line : changes) {
            if (line.rfind("- ", 0) != 0) continue;
            for (const char* neighbour : {"Velmor", "VELMOR", "vlm", "Zandrel M2100 PS", "zdps"})
                EXPECT_EQ(line.find(neighbour), std::string::npos) << line;
        }
        EXPECT_TRUE(anyLine(changes, "- printer", "name=Zandrel M2100 "));
        EXPECT_FALSE(exists(kProgramFolder));
        EXPECT_FALSE(exists(kSystemProductFolder));
        EXPECT_TRUE(exists(u"C:\\Windows\\System32\\sentinel.txt"));
        EXPECT_TRUE(exists(kSetupPath));
        EXPECT_TRUE(exists(std::u16string(kDriverFolder) + u"SetupCFG.xml"));
    }

    std::unique_ptr<platform::testing::Machine> machine;
};

const std::u16string kRestartQuestion =
    u"Your computer must be restarted to finish uninstalling the Zandrel M2100 Series driver software.\n\n"
    u"Do you want to restart the computer now?";

TEST_F(SetupRemovalRun, DeleteAllOnAMultifunctionWindows10MachineAsksToRestartAndDeletesItself) {
    for (const int restart : {IDCANCEL, IDOK}) {
        SCOPED_TRACE(restart == IDOK ? "OK" : "Cancel");
        install();
        ASSERT_TRUE(exists(kSystemProductFolder));
        // The shortcuts as named in the chosen language (text 243 of the English library).
        const std::u16string shortcut = u"C:\\Users\\User\\Desktop\\Scan application software Zandrel M2200.lnk";
        machine->writeFile(shortcut, "link");
        const auto before = snapshot();
        EXPECT_EQ(runProgram(deleteAllAnswers(restart)), 0u);
        const auto changes = diff(before, snapshot());
        expectProductGoneNeighboursKept(changes);
        EXPECT_FALSE(exists(shortcut));
        EXPECT_EQ(boxTexts(), std::vector<std::u16string>{kRestartQuestion});
        EXPECT_TRUE(batchStarted());
        // The window closed inside the question: the batch's start (its program made writable first)
        // comes before the restart the answer asks for.
        const auto journal = calls();
        const size_t writable = firstCall(journal, "SetFileAttributesW " + platform::toUtf8(kSetupPath));
        ASSERT_LT(writable, journal.size());
        const auto shutdowns = platform::shutdownRequests();
        if (restart == IDOK) {
            ASSERT_EQ(shutdowns.size(), 1u);
            EXPECT_EQ(shutdowns[0].flags, 6u);  // a forced restart
            EXPECT_EQ(shutdowns[0].reason, 0u);
            EXPECT_LT(writable, firstCall(journal, "ExitWindowsEx"));
        } else {
            EXPECT_TRUE(shutdowns.empty());
            EXPECT_EQ(firstCall(journal, "ExitWindowsEx"), journal.size());
        }
        EXPECT_FALSE(GetFileAttributesW(kSetupPath) & FILE_ATTRIBUTE_READONLY);
    }
}

TEST_F(SetupRemovalRun, DeleteAllOfAPrinterOnlyProductOnServer2008R2) {
    platform::MachineSettings settings;
    settings.osMajor = 6;
    settings.osMinor = 1;
    settings.productType = 3;
    std::string xml = configBytes();
    replaceAll(xml, "<Type>1</Type>", "<Type>0</Type>");
    install(settings, xml);
    const auto before = snapshot();
    EXPECT_EQ(runProgram(deleteAllAnswers(IDCANCEL)), 0u);
    expectProductGoneNeighboursKept(diff(before, snapshot()));
    // No driver package is removed on this system, and the still-image service is left alone.
    EXPECT_TRUE(exists(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\zdm2100.inf_amd64_5e1f0c2a\\ZDM2100.inf"));
    for (const std::string& line : calls()) EXPECT_EQ(line.find("stisvc"), std::string::npos) << line;
    EXPECT_EQ(boxTexts(), std::vector<std::u16string>{kRestartQuestion});
    EXPECT_TRUE(batchStarted());
}

TEST_F(SetupRemovalRun, DeleteOneClosesWithoutBatchFolderOrQuestion) {
    install();
    const auto before = snapshot();
    // Rows, in the reverse of the spooler's name order: the M2200, the neighbour "M2100 PS", the fax,
    // the M2100. The M2100 goes.
    EXPECT_EQ(runProgram({{DialogAnswer::Select, IDD_UNINSTALL_LIST, IDC_LIST_PRINTERS, 3},
                          {DialogAnswer::Press, IDD_UNINSTALL_LIST, IDC_LIST_DELETE_ONE},
                          {DialogAnswer::Press, IDD_UNINSTALL_COMPLETE, IDOK}}),
              0u);
    const auto changes = diff(before, snapshot());
    std::vector<std::string> printersGone;
    std::copy_if(changes.begin(), changes.end(), std::back_inserter(printersGone),
                 [](const std::string& line) { return line.rfind("- printer ", 0) == 0; });
    ASSERT_EQ(printersGone.size(), 1u);
    EXPECT_NE(printersGone[0].find("name=Zandrel M2100 "), std::string::npos);
    for (const char* other : {"Fax", "PS", "M2200"}) EXPECT_EQ(printersGone[0].find(other), std::string::npos) << other;
    EXPECT_FALSE(anyLine(changes, "- driver", "Zandrel M2100"));
    EXPECT_TRUE(exists(kProgramFolder));
    EXPECT_TRUE(exists(kSystemProductFolder));
    EXPECT_TRUE(boxTexts().empty());
    EXPECT_FALSE(batchStarted());
    EXPECT_TRUE(platform::shutdownRequests().empty());
}

TEST_F(SetupRemovalRun, AnEmptyProductFolderListRemovesNoFolderButStillAsksAndDeletesItself) {
    std::string xml = configBytes();
    replaceAll(xml, "<Dir>\\Zandrel</Dir>", "");
    replaceAll(xml, "<Dir>\\M2100</Dir>", "");
    install({}, xml);
    machine->writeFile(u"C:\\Windows\\System32\\Zandrel\\M2100\\keep.txt", "kept");
    EXPECT_EQ(runProgram(deleteAllAnswers(IDCANCEL)), 0u);
    EXPECT_TRUE(exists(u"C:\\Windows\\System32\\Zandrel\\M2100\\keep.txt"));
    EXPECT_TRUE(exists(u"C:\\Windows\\System32\\sentinel.txt"));
    EXPECT_EQ(boxTexts(), std::vector<std::u16string>{kRestartQuestion});
    EXPECT_TRUE(batchStarted());
}

TEST_F(SetupRemovalRun, AnIncompleteRunKeepsTheProgramAndASecondRunFinishesAndDeletesIt) {
    install();
    // The driver-package library cannot remove its packages this time.
    const std::u16string script = std::u16string(kProgramFolder) + u"\\x64\\DIFxAPI.script";
    machine->writeFile(script, "uninstall-fails\n");
    const auto before = snapshot();
    EXPECT_EQ(runProgram(deleteAllAnswers(IDCANCEL)), 0u);
    EXPECT_EQ(boxTexts(), std::vector<std::u16string>{kRestartQuestion});
    EXPECT_FALSE(batchStarted());
    EXPECT_TRUE(exists(kProgramFolder + std::u16string(u"\\x64\\DIFxAPI.dll")));

    DeleteFileW(script.c_str());
    EXPECT_EQ(runProgram(deleteAllAnswers(IDCANCEL)), 0u);
    expectProductGoneNeighboursKept(diff(before, snapshot()));
    EXPECT_FALSE(exists(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\zdm2100.inf_amd64_5e1f0c2a"));
    EXPECT_TRUE(batchStarted());
}

}  // namespace
