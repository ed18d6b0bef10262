// Whole scan jobs in this process: the program's application object as the receiver, the stand-in
// scanner driver beside it, the language library for its dialogs, the user's settings, and a person
// who answers every error box.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ScanManagerApp.h"
#include "pages.h"
#include "dialog_machine.h"

namespace scantest {

extern const char16_t kJobFolder[];  // the save folder of the settings written by JobMachine

struct JobSettings {
    int autoOpen = 0;
    int openFolder = 0;
};

// The dialog machine with the stand-in driver installed as "<prefix>vqm.dll" and a settings file
// naming kJobFolder, which exists.
class JobMachine : public DialogMachine {
public:
    explicit JobMachine(const JobSettings& settings = {});
    void script(const std::string& text) const;
    std::vector<std::string> journal() const;
    // Names of the files in the save folder and in the temporary folder, sorted.
    std::vector<std::string> saved() const;
    std::vector<std::string> temporary() const;
    std::u16string tempFolder() const;

private:
    pages::Gdiplus gdiplus_;  // the program starts it before any job
};

// The application object with hooks: one sees every message before the program's receiver does,
// one runs after each page's stream was handed out.
class HookedApp : public CScanManagerApp {
public:
    int TransferCallback(int nReserved, TransferMessage* pMessage) override;
    int NewStream(int nReserved, IStream** ppStream) override;
    std::function<void(const TransferMessage&)> before;
    std::function<void()> afterNewStream;
};

// A person who reads and closes every error box (template 8004) while the object lives; dialogs
// are scripted meanwhile, so the watchdog ends none (the progress dialog stays up as it would).
class ErrorBoxes {
public:
    ErrorBoxes();
    ~ErrorBoxes();
    ErrorBoxes(const ErrorBoxes&) = delete;
    ErrorBoxes& operator=(const ErrorBoxes&) = delete;
    std::vector<std::u16string> texts() const;

private:
    void answer();
    platform::dialogs::Script script_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::u16string> texts_;
    std::thread thread_;
};

// Binds the stand-in driver as the launches do, decodes the command and waits for the scan thread.
// Returns what DecodePushCommand answered.
bool runPushCommand(CScanManagerApp& app, const std::vector<BYTE>& command);

// Which of the stand-in's pages 1..count a decoded picture of `width` x `height` driver pixels shows
// most closely (0 when the picture is empty).
int closestPage(const pages::Raster& picture, int count, int width, int height);
// The pictures of a JPEG file and of the images of a PDF in their order, decoded by djpeg and pdfimages.
pages::Raster decodeJpeg(const std::filesystem::path& file);
std::vector<pages::Raster> pdfImages(const std::filesystem::path& file);

}  // namespace scantest
