// Whole button scans by the real program on simulated machines with the stand-in scanner driver and
// a local time that stays at 2026-12-10 19:45:00: each push command gives exactly the files it
// names, which independent tools accept and whose pixels are the stand-in's pages in their order;
// the actions after the job, cancelling, the folder check and the driver status without a message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DialogResources.h"
#include "page_pattern.h"
#include "platform/control.h"
#include "support/job_machine.h"
#include "support/orlith_machine.h"
#include "support/pages.h"
#include "support/scan_machine.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/user.h"

namespace {

namespace fs = std::filesystem;
using scantest::OrlithMachine;
using scantest::OrlithRun;

const platform::LocalTime kNow = {2026, 12, 10, 19, 45, 0};
const std::string kStamp = "img-261210194500-";

// The stand-in's card page (90 x 55 mm, paper 6) in driver pixels at a resolution.
int cardPixels(int dpi) { return 4252 * dpi / 1200; }
int cardLines(int dpi) { return 2598 * dpi / 1200; }

// How far a picture is from the stand-in's page as the colour mode delivers it: the mean and largest
// difference of the channels over the page (a picture of another size: 255, 255).
pages::Difference fromPage(const pages::Raster& picture, int page, int dpi, int colorMode) {
    const int width = cardPixels(dpi), height = cardLines(dpi);
    pages::Difference d;
    if (picture.width != width || picture.height != height) return d;
    double sum = 0;
    int largest = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const standin::Rgb c = standin::pagePixel(page, x, y, width, height);
            uint8_t expected[3] = {c.red, c.green, c.blue};
            if (colorMode != 2) {
                const uint8_t grey = colorMode == 1 ? standin::greyOf(c) : (standin::whiteOf(c) ? 255 : 0);
                expected[0] = expected[1] = expected[2] = grey;
            }
            const size_t i = 3 * (static_cast<size_t>(y) * width + x);
            for (int k = 0; k < 3; ++k) {
                const int diff = std::abs(int(picture.rgb[i + k]) - int(expected[k]));
                sum += diff;
                largest = std::max(largest, diff);
            }
        }
    d.mean = sum / (3.0 * width * height);
    d.largest = largest;
    return d;
}

// The pictures of a file, decoded by outside tools: a TIFF by tifftopnm, a JPEG by djpeg, a PDF's
// images by pdfimages, in their order.
std::vector<pages::Raster> picturesOf(const fs::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".tif") return {pages::ReadPnm(pages::Shell("tifftopnm " + pages::Quoted(file) + " 2>/dev/null").output)};
    if (ext == ".jpg") return {scantest::decodeJpeg(file)};
    const fs::path folder = fs::temp_directory_path() / ("orlith-pdf-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<pages::Raster> pictures;
    if (pages::Shell("pdfimages " + pages::Quoted(file) + " " + pages::Quoted(folder / "img")).status == 0) {
        std::vector<fs::path> images;
        for (const auto& entry : fs::directory_iterator(folder)) images.push_back(entry.path());
        std::sort(images.begin(), images.end());
        for (const fs::path& image : images) pictures.push_back(pages::ReadPnm(pages::ReadHostFile(image)));
    }
    fs::remove_all(folder);
    return pictures;
}

// What the outside tools say of a file: the checker's exit status.
int checkerStatus(const fs::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".tif") return pages::Shell("tiffinfo " + pages::Quoted(file) + " >/dev/null 2>&1").status;
    if (ext == ".jpg") return pages::Shell("djpeg -pnm " + pages::Quoted(file) + " >/dev/null 2>&1").status;
    const fs::path out = fs::temp_directory_path() / ("orlith-pdftoppm-" + std::to_string(getpid()));
    const int rendered = pages::Shell("pdftoppm -r 20 -png " + pages::Quoted(file) + " " + pages::Quoted(out)).status;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path()))
        if (entry.path().filename().string().rfind(out.filename().string(), 0) == 0) fs::remove(entry.path());
    // qpdf warns (3) of the empty objects the one-page writer leaves, and fails (2) on damage.
    const int checked = pages::Shell("qpdf --check " + pages::Quoted(file) + " >/dev/null 2>&1").status;
    return rendered != 0 ? rendered : (checked == 2 ? 2 : 0);
}

int pdfPageCount(const fs::path& file) {
    return std::atoi(pages::Shell("qpdf --show-npages " + pages::Quoted(file)).output.c_str());
}

std::vector<std::string> named(std::initializer_list<const char*> tails) {
    std::vector<std::string> names;
    for (const char* tail : tails) names.push_back(kStamp + tail);
    return names;
}

bool logged(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

TEST(OrlithJobs, PushCommandsGiveExactlyTheirFilesWithTheStandInsPages) {
    struct Row {
        const char* what;
        const char16_t* prefix;
        const char16_t* digits;
        const char* script;
        std::vector<std::string> files;
        std::vector<std::vector<int>> pages;  // per file, the stand-in's pages it shows in order
        int dpi;
        int colorMode;
    };
    const Row rows[] = {
        {"75 dpi line art TIFF from the flatbed", u"vrx4410", u"006000", "", named({"001.tif"}), {{1}}, 75, 0},
        {"150 dpi grey JPEG from the flatbed", u"vrx4410", u"116100", "", named({"001.jpg"}), {{1}}, 150, 1},
        {"300 dpi colour PDF from the flatbed", u"vrx4410", u"226200", "", named({"001.pdf"}), {{1}}, 300, 2},
        {"600 dpi grey TIFF from the flatbed", u"vrx4410", u"316000", "", named({"001.tif"}), {{1}}, 600, 1},
        {"150 dpi colour JPEG, two pages from the feeder", u"vrx4410", u"126110", "pages 2\n",
         named({"001.jpg", "002.jpg"}), {{1}, {2}}, 150, 2},
        {"three feeder pages into one PDF", u"vrx4410", u"116210", "pages 3\n", named({"001.pdf"}), {{1, 2, 3}}, 150, 1},
        {"second driver kind, single page", u"vrx3310", u"1261000", "", named({"001.jpg"}), {{1}}, 150, 2},
        {"second driver kind, multi-page: a PDF whatever the type", u"vrx3310", u"1160001", "pages 2\n",
         named({"001.pdf"}), {{1, 2}}, 150, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        OrlithMachine machine(OrlithMachine::Options{.prefix = row.prefix});
        platform::setLocalTime(kNow, true);
        machine.script(row.script);
        const OrlithRun run = machine.run(u"-PUSH_PARAM " + platform::fromUtf8(scantest::kDevicePath) + u" " + row.digits);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(platform::dismissedDialogs().empty()) << "no error shown";
        const auto saved = machine.savedFiles();
        ASSERT_EQ(saved, row.files);
        EXPECT_EQ(machine.temporaryFiles(), std::vector<std::string>{}) << "no temporary page left";
        for (size_t f = 0; f < saved.size(); ++f) {
            SCOPED_TRACE(saved[f]);
            const fs::path file = machine.savedFile(saved[f]);
            EXPECT_EQ(checkerStatus(file), 0);
            const auto pictures = picturesOf(file);
            ASSERT_EQ(pictures.size(), row.pages[f].size());
            if (file.extension() == ".pdf") {
                EXPECT_EQ(pdfPageCount(file), static_cast<int>(row.pages[f].size()));
            }
            const bool lossy = file.extension() != ".tif";  // JPEG files and the JPEG pages of PDFs
            for (size_t p = 0; p < pictures.size(); ++p) {
                const pages::Difference d = fromPage(pictures[p], row.pages[f][p], row.dpi, row.colorMode);
                if (lossy) {
                    EXPECT_LT(d.mean, 6.0) << "page " << row.pages[f][p];
                } else {
                    EXPECT_EQ(d.largest, 0) << "page " << row.pages[f][p];
                }
                EXPECT_EQ(scantest::closestPage(pictures[p], 3, cardPixels(row.dpi), cardLines(row.dpi)), row.pages[f][p]);
            }
        }
        const auto journal = machine.driverJournal();
        const bool platformC = std::u16string(row.prefix) == u"vrx3310";
        EXPECT_EQ(journal.empty() ? "" : journal.front().substr(0, journal.front().find(' ')),
                  platformC ? "ScanDrv_Open_C" : "ScanDrv_Open");
        EXPECT_EQ(journal.empty() ? "" : journal.back(), "ScanDrv_Close 23713 -> 0");
    }
}

// The button's 7 bytes of event data, and the second driver kind's 8 (its mode byte last).
TEST(OrlithJobs, TheButtonOnTheSimulatedMachineSavesItsPage) {
    struct Case {
        const char16_t* prefix;
        std::string eventData;  // 150 dpi colour card, JPEG, one page
        const char* open;
    };
    const Case cases[] = {
        {u"vrx4410", std::string("\x56\x01\x02\x06\x01\x00\x00", 7), "ScanDrv_Open"},
        {u"vrx3310", std::string("\x56\x01\x02\x06\x01\x00\x00\x00", 8), "ScanDrv_Open_C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::toUtf8(c.prefix));
        OrlithMachine machine(OrlithMachine::Options{.prefix = c.prefix});
        platform::setLocalTime(kNow, true);
        machine.pressButton(c.eventData);
        const OrlithRun run = machine.run(std::u16string(u"/StiDevice:") + scantest::kStiDevice + u" /StiEvent:" +
                                          scantest::kStiEvent);
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_EQ(machine.savedFiles(), named({"001.jpg"}));
        const auto pictures = picturesOf(machine.savedFile(kStamp + "001.jpg"));
        ASSERT_EQ(pictures.size(), 1u);
        EXPECT_LT(fromPage(pictures[0], 1, 150, 2).mean, 6.0);
        const auto journal = machine.driverJournal();
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ(journal.front(), std::string(c.open) + " \"" + scantest::kDevicePath + "\" -> 0");
        const auto lines = machine.debugLines(run);
        EXPECT_FALSE(logged(lines, "CMD line error"));
        EXPECT_TRUE(logged(lines, "Exit application"));
    }
}

TEST(OrlithJobs, TwoJobsInOneSecondTakeCountersOneAndTwo) {
    OrlithMachine machine;
    platform::setLocalTime(kNow, true);
    const std::u16string line = u"-PUSH_PARAM " + platform::fromUtf8(scantest::kDevicePath) + u" 116100";
    EXPECT_EQ(machine.run(line).exitCode, 0u);
    EXPECT_EQ(machine.run(line).exitCode, 0u);
    EXPECT_EQ(machine.savedFiles(), named({"001.jpg", "002.jpg"}));
}

TEST(OrlithJobs, AfterTheJobTheFileAndItsFolderAreOpened) {
    struct Case {
        int autoOpen, openFolder;
        const char* script;
        std::vector<std::string> calls;  // in order
    };
    const Case cases[] = {
        {1, 1, "", {"ShellExecuteExW", "ShellExecuteW"}},
        {1, 0, "", {"ShellExecuteExW"}},
        {0, 1, "", {"ShellExecuteW"}},
        {1, 1, "pages 2\n", {"ShellExecuteW"}},  // two files: none opened, the folder is
        {0, 0, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.autoOpen) + std::to_string(c.openFolder) + c.script);
        OrlithMachine machine(OrlithMachine::Options{.autoOpen = c.autoOpen, .openFolder = c.openFolder});
        platform::setLocalTime(kNow, true);
        machine.script(c.script);
        platform::clearShellActions();
        const OrlithRun run = machine.run(u"-PUSH_PARAM " + platform::fromUtf8(scantest::kDevicePath) + u" 116110");
        EXPECT_EQ(run.exitCode, 0u);
        std::vector<std::string> calls;
        for (const platform::ShellAction& a : platform::shellActions()) {
            calls.push_back(a.call);
            EXPECT_EQ(a.processId, run.processId);
            EXPECT_EQ(a.show, SW_SHOW);
            if (a.call == "ShellExecuteExW") {
                EXPECT_EQ(a.file, std::u16string(scantest::kSaveFolder) + u"\\" + platform::fromUtf8(kStamp) + u"001.jpg");
                EXPECT_EQ(a.verb, u"");
            } else {
                EXPECT_EQ(a.file, std::u16string(scantest::kSaveFolder) + u"\\");
                EXPECT_EQ(a.verb, u"open");
            }
        }
        EXPECT_EQ(calls, c.calls);
    }
}

TEST(OrlithJobs, CancellingMidJobKeepsTheSavedPagesAndOpensTheFolder) {
    OrlithMachine machine(OrlithMachine::Options{.openFolder = 1});
    platform::setLocalTime(kNow, true);
    machine.script("pages 3\nhold 2 10\n");  // the second page's reads wait while the user cancels
    HANDLE hold = CreateEventW(nullptr, TRUE, FALSE, u"Local\\vqm-standin-hold");
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, u"Local\\vqm-standin-held");
    platform::clearShellActions();
    OrlithRun run = machine.start(u"-PUSH_PARAM " + platform::fromUtf8(scantest::kDevicePath) + u" 116110");
    // The cancel is given once the second page's read is held: earlier, it could reach the program
    // while it still answers the new page, which ends the job there instead of mid-page.
    // Polled on the host's clock: a wait's time-out is machine time, which may run ahead.
    bool isHeld = false;
    for (int i = 0; i < 12000 && !isHeld; ++i) {
        isHeld = WaitForSingleObject(held, 0) == WAIT_OBJECT_0;
        if (!isHeld) usleep(5000);
    }
    CloseHandle(held);
    ASSERT_TRUE(isHeld);
    // The progress dialog counts the second page (its count goes to the debugger output too).
    ASSERT_TRUE(logged(machine.debugLines(run), "2"));
    // The program's progress dialog, titled as the settings dialog is.
    std::pair<DWORD, HWND> found(run.processId, nullptr);
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
            auto* f = reinterpret_cast<std::pair<DWORD, HWND>*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            WCHAR title[64] = {};
            GetWindowTextW(h, title, 64);
            if (pid == f->first && std::u16string(title) == u"Push Scan") f->second = h;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    HWND progress = found.second;
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(PostMessageW(progress, WM_COMMAND, IDCANCEL, 0));
    // The driver holds the second page until the dialog's thread has taken the cancel.
    bool cancelled = false;
    for (int i = 0; i < 6000 && !cancelled; ++i) {
        cancelled = logged(machine.debugLines(run), "Progress dialog: cancelled");
        if (!cancelled) usleep(5000);
    }
    ASSERT_TRUE(cancelled);
    SetEvent(hold);
    EXPECT_EQ(machine.wait(run), 0u);
    CloseHandle(hold);
    ASSERT_EQ(machine.savedFiles(), named({"001.jpg"}));
    EXPECT_EQ(scantest::closestPage(picturesOf(machine.savedFile(kStamp + "001.jpg"))[0], 3, cardPixels(150), cardLines(150)),
              1);
    const auto journal = machine.driverJournal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "ScanDrv_AbortScan 23713 -> 0"), journal.end());
    const auto actions = platform::shellActions();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].call, "ShellExecuteW");
    EXPECT_TRUE(platform::dismissedDialogs().empty()) << "a cancel is no error";
    EXPECT_TRUE(logged(machine.debugLines(run), "Scan thread is cancel"));
}

TEST(OrlithJobs, AMissingFolderIsShownBeforeAWrongHeadByteAndCodeTwoEndsWithoutADialog) {
    {
        SCOPED_TRACE("missing folder, wrong head byte");
        OrlithMachine machine;
        ASSERT_TRUE(RemoveDirectoryW(scantest::kSaveFolder));
        machine.pressButton(std::string("\x55\x01\x02\x06\x01\x00\x00", 7));
        const OrlithRun run = machine.run(std::u16string(u"/StiDevice:") + scantest::kStiDevice);
        EXPECT_EQ(run.exitCode, 0u);
        const auto dismissed = platform::dismissedDialogs();
        ASSERT_EQ(dismissed.size(), 1u);
        EXPECT_EQ(dismissed[0].templateId, static_cast<UINT>(IDD_ERROR_DIALOG));
        const auto lines = machine.debugLines(run);
        EXPECT_FALSE(logged(lines, "Push CMD Head error!"));
        EXPECT_EQ(machine.driverJournal(), std::vector<std::string>{}) << "the scanner is not opened";
    }
    {
        SCOPED_TRACE("wrong head byte with the folder there: silent");
        OrlithMachine machine;
        machine.pressButton(std::string("\x55\x01\x02\x06\x01\x00\x00", 7));
        const OrlithRun run = machine.run(std::u16string(u"/StiDevice:") + scantest::kStiDevice);
        EXPECT_TRUE(platform::dismissedDialogs().empty());
        EXPECT_TRUE(logged(machine.debugLines(run), "Push CMD Head error!"));
    }
    {
        SCOPED_TRACE("driver status 2 mid-page");
        OrlithMachine machine;
        machine.script("read 1 5 2\n");
        const OrlithRun run = machine.run(u"-PUSH_PARAM " + platform::fromUtf8(scantest::kDevicePath) + u" 116100");
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(platform::dismissedDialogs().empty()) << "no dialog for status 2";
        EXPECT_EQ(machine.savedFiles(), std::vector<std::string>{});
        const auto journal = machine.driverJournal();
        EXPECT_EQ(journal.empty() ? "" : journal.back(), "ScanDrv_Close 23713 -> 0");
    }
}

}  // namespace
