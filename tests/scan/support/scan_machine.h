// A machine with the scan-button program installed beside the stand-in scanner driver, a receiver
// that records the transfer messages and page streams, and the independent BMP reader.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ScanUtility.h"
#include "platform/testing/machine.h"

namespace scantest {

extern const char16_t kSaveFolder[];
extern const char kDevicePath[];

// The program "<prefix>PushScan.exe" in "C:\Program Files\Qelmar", its product INI naming the prefix,
// the stand-in driver (or its build without one export) installed as "<prefix>vqm.dll", and the save
// folder. The driver's script and journal lie beside it.
class ScanMachine {
public:
    explicit ScanMachine(std::u16string prefix = u"vrx4410", bool incompleteDriver = false);
    void script(const std::string& text) const;
    std::vector<std::string> journal() const;
    std::u16string driverPath() const;
    platform::testing::Machine machine;

private:
    std::u16string prefix_;
};

// A job record for a window of the paper table's sizes (1/1200 inch).
ScanJobRecord makeJob(int source, int colorMode, int resolution, int width, int height, bool multiPage);

using Message = std::array<int, 4>;  // type, percent, bytes so far, error

// Records every message and the bytes of every page completed in its stream. Replies as the
// program's receiver does (202 once cancelled, else the message's error field) unless `reply`
// answers otherwise (-1000 for no opinion).
class Recorder : public CTransferCallback {
public:
    Recorder();
    ~Recorder() override;
    int NewStream(int nReserved, IStream** ppStream) override;
    int TransferCallback(int nReserved, TransferMessage* pMessage) override;
    BOOL HasProgressDialog() override { return progressDialog; }
    BOOL IsCancelled() override { return cancelled; }

    std::vector<Message> messages() const;
    std::vector<std::string> pages() const;
    int streamsMade() const;

    // (message, pages begun so far) -> reply, or -1000.
    std::function<int(const TransferMessage&, int)> reply;
    int newStreamStatus = 0;
    bool progressDialog = true;
    std::atomic<bool> cancelled{false};
    HANDLE pageBegun;        // auto-reset event set at every new page
    size_t stackSize = 0;    // of the thread that delivered the first message

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<std::string> pages_;
    IStream* stream_ = nullptr;
    int streams_ = 0;
    int pagesBegun_ = 0;
};

// Loads the driver, starts the job's thread and waits for it to end. Returns the utility's load result.
int runJob(CScanUtility& utility, ScanJobRecord& job);

// A picture as netpbm's bmptopnm reads a BMP: kind 'b' (bits, 1 = black), 'g' (grey) or 'c' (RGB).
struct Picture {
    char kind = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> samples;  // one per pixel (0/1, grey) or three (R, G, B)
};
Picture readWithBmptopnm(const std::string& bmp);
// The stand-in's page as the bitmap must show it: the driver's lines cut to the bitmap's width, and
// white rows past the lines the driver reported.
void expectPageShows(const std::string& bmp, int page, int driverPixels, int driverLines, int colorMode);

}  // namespace scantest
