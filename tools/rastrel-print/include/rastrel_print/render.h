// rastrel-print's inputs and how each of their pages is drawn through the printing front: page
// descriptions (millimetres to device pixels, text by the platform's font engine), pictures fitted
// to the printable area and PDF pages rasterised at the device's resolution.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>
#include <string>
#include <vector>

#include "platform/printing.h"
#include "rastrel_print/glyphs.h"
#include "rastrel_print/page_description.h"
#include "rastrel_print/pdf.h"
#include "rastrel_print/pictures.h"

namespace rastrel_print {

// Text before any font command.
inline constexpr const char* kDefaultFont = "sans";
inline constexpr double kDefaultPoints = 11;

struct Input {
    std::string path;
    FileKind kind = FileKind::kPageDescription;
    PageDescription description;
    std::string folder;  // where a description's relative file names start
    std::map<std::string, std::shared_ptr<const platform::printing::Picture>> images;  // by the name written
    std::map<std::string, Font> fonts;  // by the font name written
    std::shared_ptr<const platform::printing::Picture> picture;
    std::shared_ptr<PendingPicture> pending;  // a picture input still being made (instead of picture)
    std::shared_ptr<PdfDocument> pdf;

    int pages() const;
};

// Reads and checks an input completely, fonts and pictures of a description included, so that
// printing does not stop half-way. Nothing, with the messages in *errors, when it is unusable.
std::optional<Input> loadInput(const std::string& path, FontCache& fonts, std::vector<std::string>* errors);

class PagesAhead;

struct DrawOptions {
    bool fitPdf = false;  // scale PDF pages to the printable area instead of printing them at their size
    PagesAhead* ahead = nullptr;  // PDF pages rendered ahead of the driver, when given
};

// Renders the job's PDF pages ahead on worker threads, each thread with renderers of its own, while
// the printing thread drives the device: at most `depth` pages are waiting or being rendered at a
// time, in the order they are printed. A page taken is handed over whole (the part of the page that
// lands on the printable area, in grey, as the printing thread would render it); a page that could
// not be rendered ahead is rendered by the printing thread as before, so every fault is met and
// reported where it was. A thread renders every page into the same bitmap: it begins a page once
// the picture of its last one has been let go, so the caller lets a page's picture go (the device
// does once it has drawn the page) before it takes a later page.
class PagesAhead {
public:
    PagesAhead(const std::vector<Input>& inputs, const platform::printing::DeviceCaps& caps,
               const DrawOptions& options, int threads, int depth);
    ~PagesAhead();
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;
    // The page rendered ahead (waiting for it), or nothing when it could not be; the pages before it
    // in the job are passed over.
    std::shared_ptr<const platform::printing::Picture> take(const Input& input, int index);

private:
    struct Job {
        const Input* input = nullptr;
        int index = 0;
        bool started = false, done = false;
        std::shared_ptr<const platform::printing::Picture> picture;
    };
    // A thread's page bitmap: busy while a picture in it is held.
    struct Slot {
        std::mutex mutex;
        std::condition_variable freed;
        bool busy = false, stopping = false;
    };
    void work(std::shared_ptr<Slot> slot);

    platform::printing::DeviceCaps caps_;
    DrawOptions options_;
    size_t depth_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;  // the job's PDF pages not yet taken, in order
    bool stopping_ = false;
    std::vector<std::shared_ptr<Slot>> slots_;  // one a thread
    std::vector<std::thread> threads_;
};

// Draws page `index` of the input on the device's open page, as page `number` of the job's `total`.
bool drawPage(platform::printing::PrinterDevice& device, const Input& input, int index, int number, int total,
              FontCache& fonts, const DrawOptions& options, std::string* why);

}  // namespace rastrel_print
