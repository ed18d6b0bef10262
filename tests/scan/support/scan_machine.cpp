#include "scan_machine.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ProductConfig.h"
#include "page_pattern.h"
#include "win/files.h"
#include "win/kernel.h"

namespace fs = std::filesystem;

namespace scantest {

const char16_t kSaveFolder[] = u"C:\\Users\\User\\Pictures\\Scans";
const char kDevicePath[] = "\\\\?\\usb#vid_3a1f&pid_4410#5&1c0#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";

namespace {
const char16_t kFolder[] = u"C:\\Program Files\\Qelmar\\";
}

ScanMachine::ScanMachine(std::u16string prefix, bool incompleteDriver) : prefix_(std::move(prefix)) {
    platform::setProgramPath(kFolder + prefix_ + u"PushScan.exe");
    g_nProductIniTail = PUSHSCAN_INI_TAIL;
    g_bIsPlatformC = FALSE;
    machine.writeFile(u"C:\\Windows\\" + prefix_ + u".ini", "[TWAIN]\r\nFile Prefix=" + platform::toUtf8(prefix_) + "\r\n");
    const fs::path driver = machine.host(driverPath());
    fs::create_directories(driver.parent_path());
    fs::copy_file(incompleteDriver ? VQM_STANDIN_INCOMPLETE : VQM_STANDIN, driver, fs::copy_options::overwrite_existing);
    EXPECT_TRUE(CreateDirectoryW(kSaveFolder, nullptr));
}

std::u16string ScanMachine::driverPath() const { return kFolder + prefix_ + u"vqm.dll"; }

void ScanMachine::script(const std::string& text) const {
    machine.writeFile(kFolder + prefix_ + u"vqm.script", text);
}

std::vector<std::string> ScanMachine::journal() const {
    std::vector<std::string> lines;
    std::istringstream text(machine.readFile(kFolder + prefix_ + u"vqm.journal").value_or(""));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

ScanJobRecord makeJob(int source, int colorMode, int resolution, int width, int height, bool multiPage) {
    ScanJobRecord job;
    std::memset(&job, 0, sizeof job);
    job.nOpenRequest = 1;
    job.nReserved = 1;
    std::strncpy(job.szDevicePath, kDevicePath, MAX_PATH - 1);
    lstrcpynW(job.szSaveFolder, kSaveFolder, MAX_PATH);
    job.bMultiPage = multiPage;
    job.params = ScanParameters{source, colorMode, resolution, resolution, 0, 0, width, height, 0, 0, 0, 0,
                                SCAN_OPTION_DEFAULT};
    return job;
}

Recorder::Recorder() : pageBegun(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

Recorder::~Recorder() {
    if (stream_) stream_->Release();
    CloseHandle(pageBegun);
}

int Recorder::NewStream(int, IStream** ppStream) {
    std::lock_guard lock(mutex_);
    ++streams_;
    if (newStreamStatus != 0) return newStreamStatus;
    if (stream_) stream_->Release();
    stream_ = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream_))) return -40;
    stream_->AddRef();  // the caller's reference
    *ppStream = stream_;
    return 0;
}

int Recorder::TransferCallback(int, TransferMessage* m) {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) {
        pthread_attr_t attributes;
        pthread_getattr_np(pthread_self(), &attributes);
        pthread_attr_getstacksize(&attributes, &stackSize);
        pthread_attr_destroy(&attributes);
    }
    messages_.push_back({m->nType, m->nPercent, m->nBytes, m->nError});
    if (m->nType == TRANSFER_MSG_NEW_PAGE) {
        ++pagesBegun_;
        SetEvent(pageBegun);
    }
    if (m->nType == TRANSFER_MSG_END_OF_STREAM && stream_) {
        HGLOBAL global = nullptr;
        GetHGlobalFromStream(stream_, &global);
        auto* data = static_cast<const char*>(GlobalLock(global));
        pages_.emplace_back(data ? data : "", data ? GlobalSize(global) : 0);
        GlobalUnlock(global);
    }
    if (reply) {
        const int answer = reply(*m, pagesBegun_);
        if (answer != -1000) return answer;
    }
    return cancelled ? SCAN_CANCELLED : m->nError;
}

std::vector<Message> Recorder::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> Recorder::pages() const {
    std::lock_guard lock(mutex_);
    return pages_;
}

int Recorder::streamsMade() const {
    std::lock_guard lock(mutex_);
    return streams_;
}

int runJob(CScanUtility& utility, ScanJobRecord& job) {
    WCHAR path[MAX_PATH];
    GetDriverDllPath(path);
    const int loaded = LoadScannerDriver(path, &utility.m_scanner);
    EXPECT_TRUE(StartScanThread(&utility, &job));
    EXPECT_EQ(WaitForSingleObject(utility.m_hThread, INFINITE), WAIT_OBJECT_0);
    return loaded;
}

Picture readWithBmptopnm(const std::string& bmp) {
    const fs::path folder = fs::temp_directory_path() / ("scan-bmp-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path in = folder / "page.bmp", out = folder / "page.pnm";
    std::ofstream(in, std::ios::binary).write(bmp.data(), static_cast<std::streamsize>(bmp.size()));
    const std::string command = "bmptopnm '" + in.string() + "' > '" + out.string() + "' 2>/dev/null";
    Picture picture;
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "bmptopnm refused the page";
        fs::remove_all(folder);
        return picture;
    }
    std::ifstream pnm(out, std::ios::binary);
    std::string magic;
    int maxValue = 1;
    pnm >> magic >> picture.width >> picture.height;
    if (magic != "P4") pnm >> maxValue;
    pnm.get();
    picture.kind = magic == "P4" ? 'b' : magic == "P5" ? 'g' : magic == "P6" ? 'c' : 0;
    const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
    if (picture.kind == 'b') {
        const size_t rowBytes = (static_cast<size_t>(picture.width) + 7) / 8;
        std::vector<uint8_t> packed(rowBytes * picture.height);
        pnm.read(reinterpret_cast<char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                picture.samples.push_back((packed[y * rowBytes + x / 8] >> (7 - x % 8)) & 1);
    } else {
        picture.samples.resize(pixels * (picture.kind == 'c' ? 3 : 1));
        pnm.read(reinterpret_cast<char*>(picture.samples.data()), static_cast<std::streamsize>(picture.samples.size()));
    }
    EXPECT_EQ(maxValue, picture.kind == 'b' ? 1 : 255);
    fs::remove_all(folder);
    return picture;
}

void expectPageShows(const std::string& bmp, int page, int driverPixels, int driverLines, int colorMode) {
    const Picture picture = readWithBmptopnm(bmp);
    ASSERT_EQ(picture.kind, colorMode == 2 ? 'c' : colorMode == 1 ? 'g' : 'b');
    ASSERT_LE(picture.width, driverPixels);
    int wrong = 0;
    for (int y = 0; y < picture.height && wrong < 5; ++y) {
        for (int x = 0; x < picture.width && wrong < 5; ++x) {
            const standin::Rgb c = y < driverLines ? standin::pagePixel(page, x, y, driverPixels, driverLines)
                                                   : standin::Rgb{255, 255, 255};
            const size_t i = static_cast<size_t>(y) * picture.width + x;
            bool same;
            if (colorMode == 2) {
                same = picture.samples[3 * i] == c.red && picture.samples[3 * i + 1] == c.green &&
                       picture.samples[3 * i + 2] == c.blue;
            } else if (colorMode == 1) {
                same = picture.samples[i] == standin::greyOf(c);
            } else {
                same = picture.samples[i] == (standin::whiteOf(c) ? 0 : 1);
            }
            if (!same) {
                ++wrong;
                ADD_FAILURE() << "page " << page << " pixel (" << x << ", " << y << ") differs";
            }
        }
    }
}

}  // namespace scantest
