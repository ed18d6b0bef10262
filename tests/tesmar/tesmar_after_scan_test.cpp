// What the program does after a scan that saved files, as the source's interface asks: mail them (taking
// precedence), or open the last saved file and then the folder with the files selected; mail by Foxmail's
// command line, by the mail helper for the Outlook family (the default mail client set for two seconds,
// then restored), or by any other program with a copy of the file beside the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>

#include "support/tesmar_machine.h"
#include "win/processes.h"
#include "win/registry.h"
#include "win/user.h"

namespace {

using namespace tesmartest;

const std::u16string kFirst = std::u16string(kSaveFolder) + u"\\scan.bmp";
const std::u16string kLast = std::u16string(kSaveFolder) + u"\\scan_2.bmp";
// The saved files as the mail programs get them.
const std::u16string kFileList = u" \"" + kFirst + u"\" \"" + kLast + u"\" ";
const char16_t kMailClients[] = u"SOFTWARE\\Clients\\Mail";

// Two pages as BMP files, the interface asking for `flags` ("open-file open-folder mail") and `mailProgram`.
std::string afterScanScript(const std::string& flags, const std::string& mailProgram) {
    std::string script = "product Scanner A\nimages 2\ncheckstatus -1\nclose-request\nsave-ext bmp\nsave-flags " + flags + "\n";
    if (!mailProgram.empty()) script += "save-mail-program " + mailProgram + "\n";
    return script;
}

std::optional<std::u16string> defaultMailClient() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kMailClients, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    WCHAR text[128] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    const LSTATUS status = RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    return std::u16string(text);
}

void setDefaultValue(HKEY root, const char16_t* key, const char16_t* value) {
    ASSERT_EQ(RegSetValueW(root, key, REG_SZ, value, 0), ERROR_SUCCESS);
}

std::vector<std::string> mailHelperJournal(const TesmarMachine& m) {
    std::vector<std::string> lines;
    std::istringstream in(m.machine.readFile(std::u16string(kProgramFolder) + u"vrx4410mail.journal").value_or(""));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// ---- Opening, and the mail programs the shell opens ----------------------------------------------------

TEST(TesmarAfterScan, OpensOrMailsAsTheInterfaceAsks) {
    struct Action {
        const char* call;
        std::u16string file, parameters;
        std::vector<std::u16string> selected;
    };
    struct Case {
        const char* what;
        const char* flags;
        const char* mailProgram;
        const char16_t* defaultClient;  // HKCU's default mail client before the scan (nullptr: none)
        std::vector<Action> actions;    // what the shell was asked, in order
        const char16_t* copied;         // the copy beside the program, if any
    };
    const std::u16string foxmail = u"C:\\Mail\\Foxmail.exe";
    const std::u16string other = u"C:\\Mail\\mailer.exe";
    const Case cases[] = {
        {"nothing asked", "0 0 0", "", nullptr, {}, nullptr},
        {"the file", "1 0 0", "", nullptr, {{"ShellExecuteW", kLast, u"", {}}}, nullptr},
        {"the folder", "0 1 0", "", nullptr, {{"SHOpenFolderAndSelectItems", kSaveFolder, u"", {kFirst, kLast}}}, nullptr},
        {"the file, then the folder", "1 1 0", "", nullptr,
         {{"ShellExecuteW", kLast, u"", {}}, {"SHOpenFolderAndSelectItems", kSaveFolder, u"", {kFirst, kLast}}}, nullptr},
        {"mail takes precedence over both opens", "1 1 1", "C:\\Mail\\Foxmail.exe", nullptr,
         {{"ShellExecuteW", foxmail, kFileList, {}}}, nullptr},
        {"Foxmail as the default client, by its registered command", "0 0 1", "", u"Foxmail",
         {{"ShellExecuteW", foxmail, kFileList, {}}}, nullptr},
        {"another program, with a copy of the last file", "0 0 1", "C:\\Mail\\mailer.exe", nullptr,
         {{"ShellExecuteW", other, u"scan_2.bmp", {}}}, u"scan_2.bmp"},
        {"no program and another default client: the copy, and nothing to open it", "0 0 1", "", u"Thunderbird", {},
         u"scan_2.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TesmarMachine m;
        m.machine.writeFile(foxmail, "mail program");
        m.machine.writeFile(other, "mail program");
        if (c.defaultClient) setDefaultValue(HKEY_CURRENT_USER, kMailClients, c.defaultClient);
        setDefaultValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Clients\\Mail\\Foxmail\\shell\\open\\command", foxmail.c_str());
        m.installSource(afterScanScript(c.flags, c.mailProgram));
        ASSERT_TRUE(m.run(u"ScannerA").finished);
        ASSERT_EQ(m.savedFiles(), (std::vector<std::string>{"scan.bmp", "scan_2.bmp"}));

        const std::vector<platform::ShellAction> actions = platform::shellActions();
        ASSERT_EQ(actions.size(), c.actions.size());
        for (size_t i = 0; i < actions.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(actions[i].call, c.actions[i].call);
            EXPECT_EQ(actions[i].file, c.actions[i].file);
            if (actions[i].call == "ShellExecuteW") {
                EXPECT_EQ(actions[i].verb, u"open");
                EXPECT_EQ(actions[i].parameters, c.actions[i].parameters);
                EXPECT_EQ(actions[i].show, SW_SHOW);
            }
            EXPECT_EQ(actions[i].selected, c.actions[i].selected);
        }
        const std::vector<std::string> beside = m.machine.filesIn(kProgramFolder);
        if (c.copied) {
            const std::u16string copy = std::u16string(kProgramFolder) + c.copied;
            EXPECT_EQ(m.machine.readFile(copy), m.machine.readFile(kLast));
        } else {
            EXPECT_EQ(std::count_if(beside.begin(), beside.end(), [](const std::string& f) { return f.ends_with(".bmp"); }), 0);
        }
        EXPECT_EQ(platform::programStarts().size(), 1u);  // the program itself: no mail helper
        EXPECT_EQ(defaultMailClient(), c.defaultClient ? std::optional<std::u16string>(c.defaultClient) : std::nullopt);
        EXPECT_EQ(m.temporaryFiles(), std::vector<std::string>{});
    }
}

// ---- The Outlook family: the mail helper -------------------------------------------------------------

// On the real clock, so that the helper runs while the default client names the Outlook family: the
// helper gets the list hidden and sees the client; the former default comes back (or goes again when
// there was none) about two seconds after it was set.
TEST(TesmarAfterScan, OutlookMailsThroughTheHelperWhileItIsTheDefaultClient) {
    struct Case {
        const char* mailProgram;
        const char16_t* former;  // nullptr: no default client before
        const char* client;      // what the helper saw
    };
    const Case cases[] = {
        {"C:\\Program Files\\Microsoft Office\\OUTLOOK.EXE", u"Thunderbird", "Microsoft Outlook"},
        {"C:\\Program Files\\Outlook Express\\msimn.exe", nullptr, "Outlook Express"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mailProgram);
        TesmarMachine m(Options{.realClock = true});
        if (c.former) setDefaultValue(HKEY_CURRENT_USER, kMailClients, c.former);
        m.installSource(afterScanScript("1 1 1", c.mailProgram));
        using Clock = std::chrono::steady_clock;
        // What the test saw, and when: the last look before the client was set (at first the start),
        // the first and last looks while it was, and the first after. The hold lies between the outer
        // two and covers the inner two, so the bounds below hold however seldom a busy machine lets
        // the test look.
        Clock::time_point before = Clock::now();
        std::optional<Clock::time_point> first, last, after;
        const std::u16string client = platform::fromUtf8(c.client);
        const TesmarMachine::Run run = m.run(u"ScannerA", [&] {
            const std::optional<std::u16string> now = defaultMailClient();
            const Clock::time_point at = Clock::now();
            if (!first && now != client) before = at;
            if (!after && now == client) {
                if (!first) first = at;
                last = at;
            }
            if (first && !after && now != client) after = at;
        });
        ASSERT_TRUE(run.finished);
        ASSERT_TRUE(first && after);
        using std::chrono::duration_cast, std::chrono::milliseconds;
        EXPECT_GE(duration_cast<milliseconds>(*after - before).count(), 1800);
        EXPECT_LE(duration_cast<milliseconds>(*last - *first).count(), 4000);
        EXPECT_EQ(defaultMailClient(), c.former ? std::optional<std::u16string>(c.former) : std::nullopt);

        const std::vector<platform::ProgramStart> starts = platform::programStarts();
        ASSERT_EQ(starts.size(), 2u);
        EXPECT_EQ(starts[1].program, std::u16string(kProgramFolder) + u"vrx4410mail.exe");
        EXPECT_EQ(starts[1].commandLine, kFileList);
        EXPECT_EQ(starts[1].startupFlags & STARTF_USESHOWWINDOW, static_cast<DWORD>(STARTF_USESHOWWINDOW));
        EXPECT_EQ(starts[1].showWindow, SW_HIDE);
        EXPECT_EQ(mailHelperJournal(m),
                  std::vector<std::string>{platform::toUtf8(kFileList) + "\t" + c.client + "\t0"});
        EXPECT_TRUE(platform::shellActions().empty());  // mail only: neither the file nor the folder
        EXPECT_EQ(m.temporaryFiles(), std::vector<std::string>{});
    }
}

}  // namespace
