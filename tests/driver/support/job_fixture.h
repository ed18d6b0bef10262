// A device record of the driver made as the engine makes it, with a sheet buffer of its own, printing
// into a job of the machine's spooler; and what the job stream's reader makes of the result.
#pragma once

#include <string>
#include <vector>

#include "ddi.h"
#include "rastrel.h"
#include "rastrel_dump/stream.h"
#include "stream.h"
#include "driver_fixture.h"

class JobTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallTestPrinter();
        printer_.emplace(kTestPrinter);
        DOC_INFO_1W doc{const_cast<LPWSTR>(u"test document"), nullptr, nullptr};
        ASSERT_NE(StartDocPrinterW(printer_->get(), 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    }
    void TearDown() override {
        for (DriverPdev* pdev : devices_) DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
        printer_.reset();
    }

    // A device for the settings, its page buffer (also the sheet buffer) white.
    DriverPdev* Device(DevmodeBuilder dm) {
        ULONG gdi[80];
        DEVINFO dev;
        DHPDEV handle = DrvEnablePDEV(dm.devmode(), nullptr, 0, nullptr, sizeof gdi, gdi, sizeof dev, &dev, nullptr,
                                      nullptr, printer_->get());
        EXPECT_NE(handle, nullptr);
        auto* pdev = reinterpret_cast<DriverPdev*>(handle);
        SIZE_T bytes = SIZE_T(pdev->sheetWidth) * pdev->sheetHeight;
        pdev->pageBuffer = pdev->sheetBuffer = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, bytes));
        pdev->pageBufferSize = static_cast<DWORD>(bytes);
        std::memset(pdev->sheetBuffer, 255, bytes);
        devices_.push_back(pdev);
        return pdev;
    }

    // Paints `count` black stripes, 32 rows each and 32 rows apart, across the sheet: a mark that
    // survives any turn of the sheet.
    static void Mark(DriverPdev* pdev, int count) {
        std::memset(pdev->sheetBuffer, 255, SIZE_T(pdev->sheetWidth) * pdev->sheetHeight);
        for (int i = 0; i < count; ++i)
            std::memset(pdev->sheetBuffer + SIZE_T(64 + 64 * i) * pdev->sheetWidth, 0, SIZE_T(32) * pdev->sheetWidth);
    }

    // Prints sheets 1..n (marked 1..n stripes) as one job.
    static bool PrintSheets(DriverPdev* pdev, int sheets) {
        if (!BeginJob(pdev)) return false;
        for (int i = 1; i <= sheets; ++i) {
            Mark(pdev, i);
            if (!FlushPage(pdev, kFlushEndOfPage)) return false;
        }
        return FinishJob(pdev);
    }

    // The bytes of the job so far.
    std::string JobBytes() {
        auto jobs = platform::printJobs();
        return jobs.empty() ? std::string() : jobs.back().bytes;
    }

    static rastrel_dump::Result Read(const std::string& bytes) {
        return rastrel_dump::parse(
            std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }

    static std::vector<int> Marks(const rastrel_dump::Result& result) { return BlackRowRuns(result); }

    std::vector<std::string> TempFiles() { return DriverTempFiles(machine_); }

    // A fresh job for the next case of a table: the devices go, the printer's job starts anew.
    void Restart() {
        TearDown();
        devices_.clear();
        SetUp();
    }

    platform::testing::Machine machine_;
    std::optional<platform::testing::PrinterHandle> printer_;
    std::vector<DriverPdev*> devices_;
};

// A small custom paper keeps the sheets quick to encode.
inline DevmodeBuilder SmallPaper() { return DevmodeBuilder().paper(300).customSize(750, 1480); }
