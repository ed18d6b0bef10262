#include "job_machine.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "DialogResources.h"
#include "PushScanSettings.h"
#include "Scanner.h"
#include "page_pattern.h"
#include "win/files.h"
#include "win/kernel.h"

namespace fs = std::filesystem;
namespace dlg = platform::dialogs;

namespace scantest {

const char16_t kJobFolder[] = u"C:\\Users\\User\\Pictures\\Scans";

namespace {

const char16_t kDevice[] = u"\\\\?\\usb#vid_3a1f&pid_4410#5&1c0#{6bdd1fc6-810f-11d0-bec7-08002be2092f}";

std::u16string programFile(const char16_t* name) { return std::u16string(kProgramFolder) + u"vrx4410" + name; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        all.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return all;
}

int greyOf(const uint8_t* rgb) { return (299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2]) / 1000; }

}  // namespace

JobMachine::JobMachine(const JobSettings& settings) {
    const fs::path driver = machine.host(programFile(u"vqm.dll"));
    fs::create_directories(driver.parent_path());
    fs::copy_file(VQM_STANDIN, driver, fs::copy_options::overwrite_existing);
    EXPECT_TRUE(CreateDirectoryW(kJobFolder, nullptr));
    PushScanSettings values = {};
    values.bAutoOpen = settings.autoOpen;
    values.bOpenFolder = settings.openFolder;
    lstrcpynW(values.szSaveFolder, kJobFolder, MAX_PATH);
    std::string bytes(PUSHSCAN_SETTINGS_BYTES, '\0');
    SerializePushScanSettings(values, reinterpret_cast<BYTE*>(bytes.data()));
    machine.writeFile(kSettingsFile, bytes);
}

void JobMachine::script(const std::string& text) const { machine.writeFile(programFile(u"vqm.script"), text); }

std::vector<std::string> JobMachine::journal() const {
    return lines(machine.readFile(programFile(u"vqm.journal")).value_or(""));
}

std::vector<std::string> JobMachine::saved() const { return machine.filesIn(kJobFolder); }

std::u16string JobMachine::tempFolder() const {
    WCHAR folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return folder;
}

std::vector<std::string> JobMachine::temporary() const { return machine.filesIn(tempFolder()); }

int HookedApp::TransferCallback(int nReserved, TransferMessage* pMessage) {
    if (before && pMessage) before(*pMessage);
    return CScanManagerApp::TransferCallback(nReserved, pMessage);
}

int HookedApp::NewStream(int nReserved, IStream** ppStream) {
    const int status = CScanManagerApp::NewStream(nReserved, ppStream);
    if (afterNewStream) afterNewStream();
    return status;
}

ErrorBoxes::ErrorBoxes() : thread_([this] { answer(); }) {}

ErrorBoxes::~ErrorBoxes() {
    stop_ = true;
    thread_.join();
}

std::vector<std::u16string> ErrorBoxes::texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
}

void ErrorBoxes::answer() {
    while (!stop_) {
        HWND box = dlg::waitForDialog({}, IDD_ERROR_DIALOG, 20);
        if (!box) continue;
        {
            std::lock_guard lock(mutex_);
            texts_.push_back(dlg::controlText(box, IDC_ERROR_MESSAGE));
        }
        // Its skinned OK, as a mouse clicks it.
        RECT r{};
        GetClientRect(GetDlgItem(box, IDOK), &r);
        dlg::clickMouse(GetDlgItem(box, IDOK), r.right / 2, r.bottom / 2);
        for (int i = 0; i < 5000 && !dlg::findDialogs({}, IDD_ERROR_DIALOG).empty(); ++i) usleep(1000);
    }
}

bool runPushCommand(CScanManagerApp& app, const std::vector<BYTE>& command) {
    WCHAR driver[MAX_PATH];
    GetDriverDllPath(driver);
    EXPECT_EQ(LoadScannerDriver(driver, &app.m_scanUtility.m_scanner), 0);
    const bool started = DecodePushCommand(kDevice, &app, command.data(), command.size());
    if (started) {
        EXPECT_EQ(WaitForSingleObject(app.m_scanUtility.m_hThread, INFINITE), WAIT_OBJECT_0);
    }
    return started;
}

int closestPage(const pages::Raster& picture, int count, int width, int height) {
    int best = 0;
    double bestDifference = 1e300;
    if (picture.width == 0 || picture.height == 0) return 0;
    for (int page = 1; page <= count; ++page) {
        double difference = 0;
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                const standin::Rgb c = y < height ? standin::pagePixel(page, x, y, width, height)
                                                  : standin::Rgb{255, 255, 255};
                const uint8_t expected[3] = {c.red, c.green, c.blue};
                const size_t i = 3 * (static_cast<size_t>(y) * picture.width + x);
                difference += std::abs(greyOf(&picture.rgb[i]) - greyOf(expected));
            }
        if (difference < bestDifference) {
            bestDifference = difference;
            best = page;
        }
    }
    return best;
}

pages::Raster decodeJpeg(const fs::path& file) {
    const pages::Run run = pages::Shell("djpeg -pnm " + pages::Quoted(file) + " 2>/dev/null");
    if (run.status != 0) return {};
    return pages::ReadPnm(run.output);
}

std::vector<pages::Raster> pdfImages(const fs::path& file) {
    const fs::path folder = fs::temp_directory_path() / ("job-pdf-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<pages::Raster> pictures;
    if (pages::Shell("pdfimages -j " + pages::Quoted(file) + " " + pages::Quoted(folder / "img")).status == 0) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& image : files) pictures.push_back(decodeJpeg(image));
    }
    fs::remove_all(folder);
    return pictures;
}

}  // namespace scantest
