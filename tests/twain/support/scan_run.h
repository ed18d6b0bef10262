// One scan through CScanTransfer against the stand-in source and the stand-in encoder: the program
// folder, an existing save folder, the source scripted, the connection enabled and pumped until the
// source is back in state 5 (or `done` says so).
#pragma once

#include <functional>
#include <memory>

#include "ScanTransfer.h"
#include "win/shell.h"
#include "source_image.h"
#include "twain_machine.h"

namespace twaintest {

extern const char16_t kSaveFolder[];

struct ScanRun {
    explicit ScanRun(const std::string& script, const std::u16string& outputName = u"scan.bmp");
    // Enables the source and handles messages until the transfers are over; false on a timeout.
    bool scan(const std::function<bool(const std::vector<std::string>&)>& done = {});
    std::vector<std::string> journal() const { return machine.sourceJournal("a"); }
    // The journal from the first image query on.
    std::vector<std::string> transferJournal() const;
    std::string hostOf(const std::u16string& windowsPath) const { return machine.machine.host(windowsPath).string(); }

    TwainMachine machine;
    std::unique_ptr<CScanTransfer> twain;
};

// A BMP file as grey (8-bit or 1-bit with a palette) or RGB samples, top row first.
Raster readBmp(const std::string& bytes);

}  // namespace twaintest
