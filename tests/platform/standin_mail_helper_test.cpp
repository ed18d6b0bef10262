// The stand-in mail helper as a program of the machine: started hidden with a file list, its handles
// closed at once, it runs on and records its command line, the default mail client and its show command.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/processes.h"
#include "win/registry.h"
#include "win/user.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::Machine;

const fs::path kMailHelper = fs::path(MFP_BIN_DIR) / "standin-mail-helper";
const char16_t kProgram[] = u"C:\\Program Files\\Qelmar\\vrx4410mail.exe";
const char16_t kJournal[] = u"C:\\Program Files\\Qelmar\\vrx4410mail.journal";

std::string waitForJournal(const Machine& machine, size_t lines) {
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text = machine.readFile(kJournal).value_or("");
        if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return text;
}

void setDefaultMailClient(const char16_t* client) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, u"SOFTWARE\\Clients\\Mail", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueW(key, nullptr, REG_SZ, client, 0), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(MailHelper, StartedHiddenItRunsOnAfterItsHandlesCloseAndRecordsWhatItSaw) {
    Machine machine;
    platform::linkProgram(kProgram, kMailHelper);
    machine.writeFile(u"C:\\Program Files\\Qelmar\\vrx4410mail.script", "wait-event Global\\mail-sent\n");
    HANDLE sent = CreateEventW(nullptr, TRUE, FALSE, u"Global\\mail-sent");
    ASSERT_NE(sent, nullptr);
    setDefaultMailClient(u"Microsoft Outlook");

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    WCHAR line[] = u" \"C:\\Scans\\scan 1.jpg\" \"C:\\Scans\\scan_2.jpg\" ";
    ASSERT_TRUE(CreateProcessW(kProgram, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_EQ(kill(static_cast<pid_t>(info.dwProcessId), 0), 0) << "it waits for the mail to be sent";
    EXPECT_FALSE(machine.readFile(kJournal));
    ASSERT_TRUE(SetEvent(sent));
    EXPECT_EQ(waitForJournal(machine, 1),
              " \"C:\\Scans\\scan 1.jpg\" \"C:\\Scans\\scan_2.jpg\" \tMicrosoft Outlook\t0\n");
    CloseHandle(sent);

    // Without a script, a default client or a show command.
    fs::remove(machine.host(u"C:\\Program Files\\Qelmar\\vrx4410mail.script"));
    HKEY mail = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Clients\\Mail", 0, KEY_ALL_ACCESS, &mail), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(mail, nullptr), ERROR_SUCCESS);
    RegCloseKey(mail);
    startup.dwFlags = 0;
    WCHAR plain[] = u"vrx4410mail.exe \"C:\\Scans\\a.pdf\"";
    ASSERT_TRUE(CreateProcessW(kProgram, plain, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    const std::string journal = waitForJournal(machine, 2);
    EXPECT_EQ(journal.substr(journal.find('\n') + 1), "vrx4410mail.exe \"C:\\Scans\\a.pdf\"\t(none)\t-\n");
}

}  // namespace
