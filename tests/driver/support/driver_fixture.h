// A machine with the printer installed and the driver loaded by its Windows name, as the spooler
// loads it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "devmode_builder.h"
#include "platform/control.h"
#include "platform/testing/driver_host.h"
#include "platform/testing/machine.h"
#include "rastrel_dump/stream.h"

inline const std::u16string kTestPrinter = u"Rastrel Test Printer";
inline const std::u16string kTestDriver = u"Rastrel Monochrome Laser";

// Installs the printer with the given default DEVMODE; returns the driver's path on the machine.
inline std::u16string InstallTestPrinter(const std::string& defaultDevmode = DevmodeBuilder().str()) {
    platform::PrinterSetup setup;
    setup.name = kTestPrinter;
    setup.driverName = kTestDriver;
    setup.driverModule = RASTREL_MODULE;
    setup.driverModuleName = u"Rastrel.dll";
    setup.defaultDevmode = defaultDevmode;
    platform::installPrinter(setup);
    return *platform::driverModulePath(kTestDriver);
}

// The marks of the sheets in stream order: the runs of completely black rows of each (0 for a blank
// sheet). Tests number their pages with that many black bars.
inline std::vector<int> BlackRowRuns(const rastrel_dump::Result& result) {
    std::vector<int> marks;
    for (const auto& sheet : result.sheets) {
        int runs = 0;
        bool inRun = false;
        for (uint32_t y = 0; y < sheet.height; ++y) {
            const uint8_t* row = sheet.bits.data() + y * sheet.row_bytes();
            bool black = std::all_of(row, row + sheet.row_bytes(), [](uint8_t b) { return b == 0xFF; });
            if (black && !inRun) ++runs;
            inRun = black;
        }
        marks.push_back(runs);
    }
    return marks;
}

// The driver's temporary files (spool and N-up store) left in its folders on the machine.
inline std::vector<std::string> DriverTempFiles(const platform::testing::Machine& machine) {
    auto names = machine.filesIn(u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Templates");
    auto more = machine.filesIn(u"C:\\ProgramData");
    names.insert(names.end(), more.begin(), more.end());
    return names;
}

// A DEVMODE in a heap block of exactly its bytes, so that any access past them shows under the
// address sanitizer.
class ExactDevmode {
public:
    explicit ExactDevmode(const std::vector<unsigned char>& bytes)
        : size_(bytes.size()), bytes_(new unsigned char[bytes.size()]) {
        std::memcpy(bytes_.get(), bytes.data(), bytes.size());
    }
    DEVMODEW* get() { return reinterpret_cast<DEVMODEW*>(bytes_.get()); }
    const unsigned char* bytes() const { return bytes_.get(); }
    size_t size() const { return size_; }
    int16_t i16(size_t offset) const {
        int16_t v;
        std::memcpy(&v, bytes_.get() + offset, 2);
        return v;
    }

private:
    size_t size_;
    std::unique_ptr<unsigned char[]> bytes_;
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        modulePath_ = InstallTestPrinter(defaultDevmode());
        host_.emplace(modulePath_);
        ASSERT_TRUE(host_->enableDriver());
        printer_.emplace(kTestPrinter);
    }
    void TearDown() override {
        printer_.reset();
        host_.reset();
    }
    virtual std::string defaultDevmode() const { return DevmodeBuilder().str(); }

    platform::testing::DriverHost& host() { return *host_; }
    HANDLE printer() { return printer_->get(); }

    platform::testing::Machine machine_;
    std::u16string modulePath_;
    std::optional<platform::testing::DriverHost> host_;
    std::optional<platform::testing::PrinterHandle> printer_;
};
