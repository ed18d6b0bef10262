// TransferMemory against the stand-in source: strips, their size, row order, how a transfer that
// ends early leaves the source, the missing save folder and a page that cannot be saved.
#include <gtest/gtest.h>

#include "SharedImageBuffer.h"
#include "support/scan_run.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/memory.h"

using namespace twaintest;
using Lines = std::vector<std::string>;

namespace {

TEST(SharedImageBuffer, ViewsAtAnyOffsetReachTheSameBytes) {
    platform::testing::Machine machine;
    SharedImageBuffer* record = CreateSharedImageBuffer(300000, u"");
    ASSERT_NE(record, nullptr);
    const std::u16string file = record->pszFileName;
    EXPECT_NE(file.find(u"Img"), std::u16string::npos);
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    // A view across a granularity boundary, then the same bytes through a view from 0.
    LPVOID base = nullptr;
    LPBYTE data = GetDataHandle(record, 65530, 20, &base);
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 20; ++i) data[i] = static_cast<BYTE>(i + 1);
    EXPECT_TRUE(UnmapViewOfFile(base));
    data = GetDataHandle(record, 0, 65550, &base);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[65530], 1);
    EXPECT_EQ(data[65549], 20);
    UnmapViewOfFile(base);
    // Past the end: refused.
    EXPECT_EQ(GetDataHandle(record, 299990, 11, &base), nullptr);
    EXPECT_EQ(GetDataHandle(record, 0xFFFFFFF0u, 0x20, &base), nullptr);
    ReleaseSharedImageBuffer(record);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SharedImageBuffer, FailedMappingRemovesTheFileAndSaysWhy) {
    platform::testing::Machine machine;
    platform::setFault("CreateFileMapping", platform::Fault());
    EXPECT_EQ(CreateSharedImageBuffer(1000, u""), nullptr);
    const auto log = platform::debugLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "CreateFileMapping error :(8)"), log.end());
    WCHAR folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    EXPECT_TRUE(machine.filesIn(folder).empty());
}

TEST(TransferMemory, StripsCopiedInOrderWithTheLastOne) {
    ScanRun run("image 64 48 8\nmaxbuf 1000\n");
    ASSERT_TRUE(run.scan());
    EXPECT_EQ(run.transferJournal(), (Lines{
                                         "IMAGE/IMAGEINFO/GET -> 0 state 6",
                                         "IMAGE/SETUPMEMXFER/GET -> 0 state 6",
                                         "IMAGE/IMAGEMEMXFER/GET strip 1 length 1000 rows 15 -> 0 state 7",
                                         "IMAGE/IMAGEMEMXFER/GET strip 2 length 1000 rows 15 -> 0 state 7",
                                         "IMAGE/IMAGEMEMXFER/GET strip 3 length 1000 rows 15 -> 0 state 7",
                                         "IMAGE/IMAGEMEMXFER/GET strip 4 length 1000 rows 3 -> 6 state 7",
                                         "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 5",
                                     }));
    const Raster bmp = readBmp(run.machine.machine.readFile(std::u16string(kSaveFolder) + u"\\scan.bmp").value_or(""));
    ASSERT_EQ(bmp.width, 64);
    ASSERT_EQ(bmp.height, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(bmp.samples[y * 64 + x], twainstandin::patternValue(y, x, 0)) << x << "," << y;
    ASSERT_EQ(run.twain->m_savedFiles.GetSize(), 1);
    EXPECT_EQ(std::u16string(run.twain->m_savedFiles[0]), std::u16string(kSaveFolder) + u"\\scan.bmp");
}

TEST(TransferMemory, StripsAreCappedAtTenMebibytes) {
    ScanRun run("image 4096 3000 8\nmaxbuf 16777216\n");
    ASSERT_TRUE(run.scan());
    EXPECT_EQ(linesStarting(run.journal(), "IMAGE/IMAGEMEMXFER"),
              (Lines{"IMAGE/IMAGEMEMXFER/GET strip 1 length 10485760 rows 2560 -> 0 state 7",
                     "IMAGE/IMAGEMEMXFER/GET strip 2 length 10485760 rows 440 -> 6 state 7"}));
    const Raster bmp = readBmp(run.machine.machine.readFile(std::u16string(kSaveFolder) + u"\\scan.bmp").value_or(""));
    ASSERT_EQ(bmp.height, 3000);
    for (int y : {0, 2559, 2560, 2999})
        EXPECT_EQ(bmp.samples[static_cast<size_t>(y) * 4096 + 7], twainstandin::patternValue(y, 7, 0)) << y;
}

TEST(TransferMemory, TransferEndingEarlyEndsAndResetsTheSource) {
    struct Case {
        const char* script;
        Lines after;  // the journal from the strip that ended the transfer on
    };
    const Case cases[] = {
        {"images 1\ncancel 1 2\n",
         {"IMAGE/IMAGEMEMXFER/GET strip 2 length 1000 -> 3 state 7", "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 5"}},
        {"images 2\ncancel 1 2\n",
         {"IMAGE/IMAGEMEMXFER/GET strip 2 length 1000 -> 3 state 7", "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 6",
          "CONTROL/PENDINGXFERS/RESET -> 0 state 5"}},
        {"images 2\nfail 1 3\n",
         {"IMAGE/IMAGEMEMXFER/GET strip 3 length 1000 -> 1 (1) state 7", "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 6",
          "CONTROL/PENDINGXFERS/RESET -> 0 state 5"}},
        {"images 2\nno-memxfer\n",
         {"IMAGE/SETUPMEMXFER/GET -> 1 (9) state 6", "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 6",
          "CONTROL/PENDINGXFERS/RESET -> 0 state 5"}},
        {"images 2\nreported -1 48\n",
         {"IMAGE/IMAGEINFO/GET -> 0 state 6", "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 6",
          "CONTROL/PENDINGXFERS/RESET -> 0 state 5"}},
        {"images 1\nreported 64 0\n", {"IMAGE/IMAGEINFO/GET -> 0 state 6", "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 5"}},
        // 65535 x 65535 at 24 bits does not fit a 32-bit size.
        {"images 1\nreported 65535 65535\n",
         {"IMAGE/IMAGEINFO/GET -> 0 state 6", "CONTROL/PENDINGXFERS/ENDXFER -> 0 state 5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        ScanRun run(std::string("maxbuf 1000\nimage 64 48 24\n") + c.script);
        ASSERT_TRUE(run.scan());
        const Lines journal = run.journal();
        ASSERT_GE(journal.size(), c.after.size());
        EXPECT_EQ(Lines(journal.end() - static_cast<std::ptrdiff_t>(c.after.size()), journal.end()), c.after);
        EXPECT_FALSE(PathFileExistsW((std::u16string(kSaveFolder) + u"\\scan.bmp").c_str()));
        EXPECT_EQ(run.twain->m_savedFiles.GetSize(), 0);
        WCHAR folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        EXPECT_TRUE(run.machine.machine.filesIn(folder).empty());  // no buffer file left behind
    }
}

// The source's interface is told, nothing is saved, and the source is back in its enabled state with
// nothing pending, so it can give the next scan's images and be disabled and closed.
TEST(TransferMemory, MissingSaveFolderTellsTheSourcesInterfaceAndEndsTheTransfer) {
    struct Case {
        const char* script;
        Lines pending;  // the journal's pending-transfer lines
    };
    const Case cases[] = {
        {"images 1\n", {"CONTROL/PENDINGXFERS/ENDXFER -> 0 state 5"}},
        {"images 2\n", {"CONTROL/PENDINGXFERS/ENDXFER -> 0 state 6", "CONTROL/PENDINGXFERS/RESET -> 0 state 5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        ScanRun run(std::string("image 64 48 8\n") + c.script);
        run.twain->SetTransferCount(-1);
        lstrcpynW(run.twain->m_settings.szFolder, u"C:\\Users\\User\\Gone", 260);
        ASSERT_TRUE(run.scan([](const Lines& lines) {
            const Lines pending = linesStarting(lines, "CONTROL/PENDINGXFERS");
            return !linesStarting(lines, "ui message").empty() && !pending.empty() && pending.back().ends_with("state 5");
        }));
        EXPECT_EQ(linesStarting(run.journal(), "ui message"), (Lines{"ui message 0xA41 10 0"}));
        EXPECT_EQ(linesStarting(run.journal(), "CONTROL/PENDINGXFERS"), c.pending);
        EXPECT_FALSE(PathFileExistsW((std::u16string(kSaveFolder) + u"\\scan.bmp").c_str()));
        EXPECT_EQ(run.twain->m_savedFiles.GetSize(), 0);
        EXPECT_FALSE(run.twain->m_bSaveFailed);  // nothing was tried: the interface tells the user
        EXPECT_TRUE(run.twain->DisableSource());
        EXPECT_TRUE(run.twain->CloseSource());
    }
}

// A page the image-encoding library cannot write: nothing of it is left, it is not listed, the scan is
// marked for the dialog to tell, and the source is back in its enabled state with nothing pending.
TEST(TransferMemory, PageThatCannotBeSavedLeavesNothingAndEndsTheTransfer) {
    struct Case {
        const char* what;
        const char* script;
        const char16_t* name;
        const char* fault;  // a switch that strikes once after `skip` calls, or nullptr
        int skip;
    };
    const Case cases[] = {
        {"a name Windows refuses", "", u"scan?.bmp", nullptr, 0},
        {"a PNG that cannot be written again", "", u"scan.png", "WriteFile", 0},
        // The first call makes the image's buffer file, the second is the library's page file.
        {"a PDF page the library cannot keep", "", u"scan.pdf", "GetTempFileName", 1},
        // The stand-in's rows of an image of width 0 have no bytes: the library has nothing to write.
        {"a TIFF first page of no rows", "image 0 48 8\nreported 64 48\n", u"scan.tif", nullptr, 0},
        {"a BMP of no rows", "image 0 48 8\nreported 64 48\n", u"scan.bmp", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScanRun run(std::string("images 2\n") + c.script, c.name);
        run.twain->SetTransferCount(-1);
        if (c.fault) platform::setFault(c.fault, platform::Fault().skipping(c.skip));
        ASSERT_TRUE(run.scan());
        platform::clearFaults();
        EXPECT_EQ(linesStarting(run.journal(), "CONTROL/PENDINGXFERS"),
                  (Lines{"CONTROL/PENDINGXFERS/ENDXFER -> 0 state 6", "CONTROL/PENDINGXFERS/RESET -> 0 state 5"}));
        EXPECT_EQ(run.machine.machine.filesIn(kSaveFolder), std::vector<std::string>{});
        EXPECT_EQ(run.twain->m_savedFiles.GetSize(), 0);
        EXPECT_EQ(run.twain->m_imageSaver.PageCount(), 0);
        EXPECT_TRUE(run.twain->m_bSaveFailed);
        WCHAR folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        EXPECT_TRUE(run.machine.machine.filesIn(folder).empty());
        const auto log = platform::debugLog();
        EXPECT_NE(std::find(log.begin(), log.end(), "CScanTransfer::TransferMemory: the page could not be saved"),
                  log.end());
    }
}

}  // namespace
