// The printer's command frames as the simulated printer receives them, byte for byte, and the rules
// for its replies.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "printer_frames.h"
#include "usb_port.h"
#include "wifisetup/support/printer_on_cable.h"
#include "win/kernel.h"

using wifitest::bytes;
using wifitest::kPrefix;
using wifitest::kTrailer;
using wifitest::PrinterOnCable;

namespace {

// The set frame as the frame layout gives it: prefix, header FF 80 / 00 00, the 208-byte record,
// trailer.
std::string setFrame(const std::string& record) {
    return kPrefix + bytes({0x00, 0xAC, 0xFF, 0x80, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) + record + kTrailer;
}

// A record with text fields put at their offsets (SSID 0, mode 33, WPA 34, WEP 100).
std::string record(const std::string& ssid, int mode, const std::string& wpa, const std::string& wep) {
    std::string r(208, '\0');
    r.replace(0, ssid.size(), ssid);
    r[33] = static_cast<char>(mode);
    r.replace(34, wpa.size(), wpa);
    r.replace(100, wep.size(), wep);
    return r;
}

}  // namespace

TEST(SetFrame, EachModeFillsOnlyItsFieldsInOneWriteThenWaitsAndReadsOnce) {
    struct Row {
        int mode;
        std::string wpa, wep;
    };
    const Row rows[] = {{0, "", ""}, {1, "", "secret"}, {2, "secret", ""}, {3, "secret", ""}, {6, "", ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        PrinterOnCable cable;
        cable.attach();
        platform::clearSleepLog();
        EXPECT_TRUE(SendWifiSettings(u"HomeNet", u"secret", u"USB001", row.mode));
        auto sets = cable.printer->received("set");
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(sets[0].bytes.size(), 267u);
        EXPECT_EQ(standin::hexOf(sets[0].bytes), standin::hexOf(setFrame(record("HomeNet", row.mode, row.wpa, row.wep))));
        EXPECT_EQ(cable.printer->packets().size(), 2u);  // the frame and the reply
        EXPECT_EQ(platform::sleepLog(), std::vector<DWORD>{200});
        EXPECT_EQ(platform::liveDeviceFiles(), 0u);
    }
}

TEST(SetFrame, TextsAreCutToTheirFieldsInTheAnsiCodePage) {
    const std::u16string zhong = u"\u4E2D";  // two bytes in code page 936 (D6 D0)
    std::string zhongBytes = bytes({0xD6, 0xD0});
    auto repeat = [](const auto& unit, int n) {
        std::decay_t<decltype(unit)> out;
        for (int i = 0; i < n; ++i) out += unit;
        return out;
    };
    struct Row {
        UINT codePage;
        std::u16string ssid;
        std::string sent;
    };
    const Row rows[] = {
        {1252, repeat(std::u16string(u"a"), 31), std::string(31, 'a')},
        {1252, repeat(std::u16string(u"a"), 32), std::string(32, 'a')},
        {1252, repeat(std::u16string(u"a"), 33), std::string(32, 'a')},
        {1252, repeat(std::u16string(u"a"), 40), std::string(32, 'a')},
        {1252, u"Caf\u00E9", "Caf\xE9"},
        {936, repeat(zhong, 15) + u"a", repeat(zhongBytes, 15) + "a"},
        {936, repeat(zhong, 16), repeat(zhongBytes, 16)},
        {936, u"a" + repeat(zhong, 16), "a" + repeat(zhongBytes, 15) + zhongBytes.substr(0, 1)},
        {936, repeat(zhong, 20), repeat(zhongBytes, 16)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(platform::toUtf8(row.ssid) + " on " + std::to_string(row.codePage));
        platform::MachineSettings settings;
        settings.codePage = row.codePage;
        PrinterOnCable cable(settings);
        cable.attach();
        SendWifiSettings(row.ssid, u"", u"USB001", 0);
        auto sets = cable.printer->received("set");
        ASSERT_EQ(sets.size(), 1u);
        EXPECT_EQ(standin::hexOf(sets[0].bytes), standin::hexOf(setFrame(record(row.sent, 0, "", ""))));
    }
}

TEST(SetFrame, KeysAreCutToTheirFields) {
    struct Row {
        int mode;
        size_t typed, sent;
    };
    const Row rows[] = {{2, 63, 63}, {2, 64, 64}, {2, 65, 64}, {1, 26, 26}, {1, 27, 26}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.mode) + "/" + std::to_string(row.typed));
        PrinterOnCable cable;
        cable.attach();
        const std::string key(row.typed, 'k');
        SendWifiSettings(u"Net", std::u16string(key.begin(), key.end()), u"USB001", row.mode);
        auto sets = cable.printer->received("set");
        ASSERT_EQ(sets.size(), 1u);
        const std::string sent(row.sent, 'k');
        EXPECT_EQ(standin::hexOf(sets[0].bytes),
                  standin::hexOf(setFrame(record("Net", row.mode, row.mode == 2 ? sent : "", row.mode == 1 ? sent : ""))));
    }
}

TEST(SetReply, OnlyAnEchoWithStatusOneIsAccepted) {
    using Answer = standin::UsbPrinterScript::SetAnswer;
    const std::string tail(10, '\0');
    struct Row {
        const char* what;
        Answer answer;
        std::string raw;
        bool accepted;
    };
    const Row rows[] = {
        {"accept", Answer::Raw, bytes({0x00, 0xAC, 0xFF, 0x80, 0x00, 0x01}) + tail, true},
        {"status 256", Answer::Raw, bytes({0x00, 0xAC, 0xFF, 0x80, 0x01, 0x00}) + tail, false},
        {"wrong echo", Answer::Raw, bytes({0x00, 0xAC, 0xFF, 0x84, 0x00, 0x01}) + tail, false},
        {"4 bytes", Answer::Raw, bytes({0x00, 0xAC, 0xFF, 0x80}), false},
        {"refuse", Answer::Refuse, "", false},
        {"silence", Answer::Silence, "", false},
        // The 16-byte read takes the first 16 bytes of a longer packet; they decide.
        {"20 bytes", Answer::Raw, bytes({0x00, 0xAC, 0xFF, 0x80, 0x00, 0x01}) + std::string(14, '\x55'), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PrinterOnCable cable;
        standin::UsbPrinterScript script;
        script.set = row.answer;
        script.setRaw = row.raw;
        cable.attach({}, script);
        const ULONGLONG before = GetTickCount64();
        EXPECT_EQ(SendWifiSettings(u"Net", u"", u"USB001", 0), row.accepted);
        if (row.answer == Answer::Silence) {
            EXPECT_GE(GetTickCount64() - before, 200u + 5000u);
        }
    }
}

TEST(SetReply, RuleOverBytesNeverReadsPastTheEnd) {
    const uint8_t accept[20] = {0x00, 0xAC, 0xFF, 0x80, 0x00, 0x01};
    EXPECT_TRUE(IsSetReplyAccepted(accept, 16));
    EXPECT_TRUE(IsSetReplyAccepted(accept, 6));
    EXPECT_FALSE(IsSetReplyAccepted(accept, 5));
    EXPECT_FALSE(IsSetReplyAccepted(accept, 20));
    EXPECT_FALSE(IsSetReplyAccepted(nullptr, 16));
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::vector<uint8_t> reply(random() % 24);
        for (auto& b : reply) b = static_cast<uint8_t>(random());
        IsSetReplyAccepted(reply.data(), reply.size());
        for (int selector : {0, 1, 2}) EXPECT_LE(ReadQueryText(reply.data(), reply.size(), selector).size(), 192u);
    }
}

TEST(SetFrame, AFailedWriteReadsNothingAndAStaleReplyIsNotTakenForTheNext) {
    PrinterOnCable cable;
    cable.attach();
    platform::setFault("WriteFile", platform::Fault());
    platform::clearSleepLog();
    EXPECT_FALSE(SendWifiSettings(u"Net", u"", u"USB001", 0));
    EXPECT_TRUE(platform::sleepLog().empty());
    EXPECT_TRUE(cable.printer->received("set").empty());

    // A reply later than the read's time-out is not taken; each set opens the device anew, so the
    // late reply does not answer the next frame either.
    standin::UsbPrinterScript slow;
    slow.delayMs = 6000;
    cable.printer->setScript(slow);
    EXPECT_FALSE(SendWifiSettings(u"Net", u"", u"USB001", 0));
    cable.printer->setScript({});
    EXPECT_TRUE(SendWifiSettings(u"Net", u"", u"USB001", 0));
    EXPECT_EQ(cable.printer->connections(), 3);
}

TEST(Frames, AreRefusedForPortsThatAreNotUsbOrHaveNoDevice) {
    PrinterOnCable cable;
    cable.attach();
    for (const char16_t* port : {u"", u"usb001", u"LPT1:", u"USB009"}) {
        SCOPED_TRACE(platform::toUtf8(port));
        EXPECT_FALSE(SendWifiSettings(u"Net", u"", port, 0));
        EXPECT_EQ(QueryPrinterNetworkInfo(port, 0), "");
        SendPrintWifiInfoPage(port);
        EXPECT_EQ(cable.printer->connections(), 0);
        EXPECT_TRUE(cable.printer->packets().empty());
    }
    EXPECT_TRUE(SendWifiSettings(u"Net", u"", u"USB001", 0));
}

TEST(Frames, FrameAllocationFailureSendsNothing) {
    PrinterOnCable cable;
    cable.attach();
    platform::setFault("LocalAlloc", platform::Fault().failing(-1).atLeast(59));
    EXPECT_FALSE(SendWifiSettings(u"Net", u"", u"USB001", 0));
    EXPECT_EQ(QueryPrinterNetworkInfo(u"USB001", 0), "");
    EXPECT_EQ(cable.printer->connections(), 0);
}

TEST(PrintInfoPageFrame, IsThreeWritesWhateverEachReturnsAndIsNeverAnswered) {
    PrinterOnCable cable;
    cable.attach();
    platform::setFault("WriteFile", platform::Fault());  // the first write fails
    SendPrintWifiInfoPage(u"USB001");
    ASSERT_TRUE(cable.printer->waitForPackets(2));
    auto packets = cable.printer->packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].kind, "unexpected");  // the header, without the prefix that failed
    EXPECT_EQ(packets[0].bytes, bytes({0x00, 0xAC, 0xFF, 0x84, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(packets[1].bytes, kTrailer);

    PrinterOnCable clean;
    clean.attach();
    SendPrintWifiInfoPage(u"USB001");
    ASSERT_TRUE(clean.printer->waitForPackets(3));
    packets = clean.printer->packets();
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].kind, "print-prefix");
    EXPECT_EQ(packets[0].bytes, kPrefix);
    EXPECT_EQ(packets[0].bytes.size() + packets[1].bytes.size() + packets[2].bytes.size(), 59u);
    EXPECT_EQ(packets[1].kind, "print-header");
    EXPECT_EQ(packets[2].kind, "print-trailer");
    EXPECT_EQ(platform::liveDeviceFiles(), 0u);
}

TEST(QueryFrame, EachSelectorSendsItsOwnFrameAndReadsItsAddress) {
    PrinterOnCable cable;
    standin::UsbPrinterScript script;
    script.ipv4 = "192.0.2.44";
    script.secondAddress = "printer-2a.example";
    cable.attach({}, script);
    platform::clearSleepLog();
    EXPECT_EQ(QueryPrinterNetworkInfo(u"USB001", 0), "192.0.2.44");
    EXPECT_EQ(QueryPrinterNetworkInfo(u"USB001", 1), "printer-2a.example");
    EXPECT_EQ(QueryPrinterNetworkInfo(u"USB001", 7), "192.0.2.44");
    auto queries = cable.printer->received("query");
    ASSERT_EQ(queries.size(), 3u);
    EXPECT_EQ(queries[0].bytes, kPrefix + bytes({0x00, 0xAC, 0xFF, 0x0F, 0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) + kTrailer);
    EXPECT_EQ(queries[0].bytes.size(), 59u);
    EXPECT_EQ(platform::sleepLog(), (std::vector<DWORD>{200, 200, 200}));
}

TEST(QueryFrame, TextsAreReadWithinTheirFields) {
    struct Row {
        const char* what;
        standin::UsbPrinterScript::QueryAnswer answer;
        std::string body;
        std::string first, second;
    };
    using Answer = standin::UsbPrinterScript::QueryAnswer;
    const Row rows[] = {
        {"no NUL anywhere", Answer::Raw, std::string(240, 'A'), std::string(48, 'A'), std::string(192, 'A')},
        {"a short body", Answer::Raw, "192.0.2.77", "192.0.2.77", ""},
        {"second at 48", Answer::Raw, std::string("192.0.2.1\0", 10) + std::string(38, 'x') + "fe80::2" + std::string(1, '\0'),
         "192.0.2.1", "fe80::2"},
        {"silence", Answer::Silence, "", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PrinterOnCable cable;
        standin::UsbPrinterScript script;
        script.query = row.answer;
        script.queryRaw = row.body;
        cable.attach({}, script);
        EXPECT_EQ(QueryPrinterNetworkInfo(u"USB001", 0), row.first);
        EXPECT_EQ(QueryPrinterNetworkInfo(u"USB001", 1), row.second);
    }
}

TEST(UsbPrinterStandIn, ScriptLinesAndTheProgramOnAMachine) {
    auto script = standin::parseUsbPrinterScript("# a comment\nset raw 00 AC ff 80\nquery addresses 192.0.2.5 host-b\ndelay 300\n");
    EXPECT_EQ(script.set, standin::UsbPrinterScript::SetAnswer::Raw);
    EXPECT_EQ(script.setRaw, bytes({0x00, 0xAC, 0xFF, 0x80}));
    EXPECT_EQ(script.secondAddress, "host-b");
    EXPECT_EQ(script.delayMs, 300u);
    for (const char* bad : {"set maybe", "query addresses onlyone", "delay soon", "set raw 0", "blink"})
        EXPECT_THROW(standin::parseUsbPrinterScript(bad), std::invalid_argument) << bad;

    platform::testing::Machine machine;
    machine.writeFile(u"C:\\printer.script", "set refuse\n");
    const std::string journal = (machine.root() / "printer.journal").string();
    const std::string program = std::string(MFP_BIN_DIR) + "/standin-usb-printer";
    const std::string root = machine.root().string(), scriptFile = machine.host(u"C:\\printer.script").string();
    std::vector<const char*> args = {program.c_str(), "--machine", root.c_str(), "--port", "4", "--script",
                                     scriptFile.c_str(), "--journal", journal.c_str(), nullptr};
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(args.data()), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    FILE* ready = fdopen(out[0], "r");
    char line[512] = {};
    ASSERT_NE(fgets(line, sizeof line, ready), nullptr);  // ready: its interface path
    EXPECT_EQ(std::string(line).rfind("\\\\?\\usb#vid_1a2b&pid_3c4d#sn0001#", 0), 0u);
    EXPECT_EQ(FindPrinterUsbPort({{wifitest::kPrinterKey, u"M"}}), u"USB004");
    EXPECT_FALSE(SendWifiSettings(u"Net", u"", u"USB004", 0));
    EXPECT_EQ(QueryPrinterNetworkInfo(u"USB004", 0), "192.0.2.10");
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    fclose(ready);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(journal);
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first.rfind("set 1B252D31323334355840504A4C", 0), 0u);
    EXPECT_EQ(second, "> reply 00ACFF80010000000000000000000000");
}
