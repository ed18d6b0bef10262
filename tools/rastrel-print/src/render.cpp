// Loading rastrel-print's inputs and drawing their pages through the printing front.
#include "rastrel_print/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace rastrel_print {

namespace fs = std::filesystem;
using platform::printing::Path;
using platform::printing::Pen;
using platform::printing::Picture;
using platform::printing::PointD;
using platform::printing::PrinterDevice;

namespace {

// The longest page description read from a pipe or a device.
constexpr size_t kMaxDescriptionBytes = size_t(64) << 20;

// How much of an input can be of use, by its kind: Poppler opens a PDF by its name, so of one that
// is not a regular file only the first bytes are read, which tell what it is.
size_t inputBound(std::string_view head) {
    switch (sniff(head)) {
    case FileKind::kPageDescription: return kMaxDescriptionBytes;
    case FileKind::kPdf: return head.size();
    default: return kMaxPictureFileBytes;
    }
}

std::optional<FileBytes> readFile(const std::string& path, std::string* why) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        *why = path + ": is a folder";
        return std::nullopt;
    }
    return FileBytes::open(path, why, inputBound);
}

std::string resolved(const std::string& folder, const std::string& name) {
    fs::path p(name);
    return p.is_absolute() ? name : (fs::path(folder) / p).string();
}

// Millimetres of a description to pixels of the device's page.
class Units {
public:
    Units(const platform::printing::DeviceCaps& caps) : caps_(caps) {}
    void setOrigin(Origin origin) { origin_ = origin; }
    double x(double mm) const { return mm * caps_.dpiX / 25.4 - (origin_ == Origin::kPaper ? caps_.printableOffset.x : 0); }
    double y(double mm) const { return mm * caps_.dpiY / 25.4 - (origin_ == Origin::kPaper ? caps_.printableOffset.y : 0); }
    double length(double mm) const { return mm * caps_.dpiX / 25.4; }
    PointD point(const PointMm& p) const { return PointD{x(p.x), y(p.y)}; }
    RECTL rect(const PointMm& at, double w, double h) const {
        return RECTL{static_cast<LONG>(std::lround(x(at.x))), static_cast<LONG>(std::lround(y(at.y))),
                     static_cast<LONG>(std::lround(x(at.x + w))), static_cast<LONG>(std::lround(y(at.y + h)))};
    }
    // A pen of a width in mm: 0 is the device's one-pixel line.
    Pen pen(double widthMm, int grey) const {
        Pen p;
        p.grey = static_cast<BYTE>(grey);
        p.width = widthMm > 0 ? std::max(length(widthMm), 1.0) : 0;
        return p;
    }

private:
    platform::printing::DeviceCaps caps_;
    Origin origin_ = Origin::kPaper;
};

struct TextState {
    std::string font = kDefaultFont;
    double points = kDefaultPoints;
};

class DescriptionPainter {
public:
    DescriptionPainter(PrinterDevice& device, const Input& input, FontCache& fonts, int number, int total)
        : device_(device), input_(input), fonts_(fonts), units_(device.caps()), number_(number), total_(total) {}

    // State commands (font, origin) of the pages before this one still hold.
    void carry(const Command& c) {
        if (auto* o = std::get_if<OriginCommand>(&c)) apply(*o);
        if (auto* f = std::get_if<FontCommand>(&c)) apply(*f);
    }

    bool draw(const Located& item, std::string* why) {
        bool ok = std::visit([&](const auto& c) { return paint(c); }, item.command);
        if (!ok) *why = input_.path + ":" + std::to_string(item.line) + ": " + error_;
        return ok;
    }

private:
    bool fail(const std::string& what) {
        error_ = what;
        return false;
    }
    bool front(bool ok) { return ok || fail(device_.lastError()); }

    void apply(const OriginCommand& c) { units_.setOrigin(c.origin); }
    void apply(const FontCommand& c) {
        state_.font = c.name;
        state_.points = c.points;
    }
    bool paint(const OriginCommand& c) {
        apply(c);
        return true;
    }
    bool paint(const FontCommand& c) {
        apply(c);
        return true;
    }
    bool paint(const TextCommand& c) {
        std::string name = c.font.value_or(state_.font);
        double points = c.points.value_or(state_.points);
        auto loaded = input_.fonts.find(name);
        std::string why;
        const Font* font = loaded != input_.fonts.end() ? &loaded->second : fonts_.get(name, input_.folder, &why);
        if (!font) return fail(why);
        std::string text = expandMacros(c.text, number_, total_);
        POINTL at{static_cast<LONG>(std::lround(units_.x(c.at.x))), static_cast<LONG>(std::lround(units_.y(c.at.y)))};
        // What can show of the page: the bands of a banded page start inside the printable area, so
        // nothing past it by more than a band (nor left of or above the page) is ever drawn.
        const auto& caps = device_.caps();
        const RECTL shown{0, 0, caps.printable.cx + caps.surface.cx, caps.printable.cy + caps.surface.cy};
        auto line = layout(*font, text, points, caps.dpiX, caps.dpiY, at, c.align, &why, &shown);
        if (!line) return fail(why);
        return front(device_.text(line->glyphs, static_cast<BYTE>(c.grey)));
    }
    bool paint(const LineCommand& c) {
        std::vector<PointD> points;
        for (const PointMm& p : c.points) points.push_back(units_.point(p));
        Pen pen = units_.pen(c.width, c.grey);
        if (points.size() == 2) return front(device_.line(points[0], points[1], pen));
        return front(device_.polyline(points, pen));
    }
    bool paint(const RectCommand& c) {
        Pen pen = units_.pen(c.width, c.grey);
        pen.join = JOIN_MITER;
        pen.cap = ENDCAP_SQUARE;
        Path path;
        path.rectangle(units_.x(c.at.x), units_.y(c.at.y), units_.x(c.at.x + c.w), units_.y(c.at.y + c.h));
        return front(device_.strokePath(path, pen));
    }
    bool paint(const FillCommand& c) {
        return front(device_.fillRect(units_.rect(c.at, c.w, c.h), static_cast<BYTE>(c.grey)));
    }
    bool paint(const PatternCommand& c) {
        platform::printing::Pattern pattern;
        std::copy(std::begin(c.rows), std::end(c.rows), pattern.rows.begin());
        pattern.ink = static_cast<BYTE>(c.ink);
        pattern.paper = static_cast<BYTE>(c.paper);
        return front(device_.patternRect(units_.rect(c.at, c.w, c.h), pattern));
    }
    bool paint(const PolygonCommand& c) {
        Path path;
        path.moveTo(units_.point(c.points[0]));
        for (size_t i = 1; i < c.points.size(); ++i) path.lineTo(units_.point(c.points[i]));
        path.close();
        return front(device_.fillPath(path, static_cast<BYTE>(c.grey), !c.evenOdd));
    }
    bool paint(const EllipseCommand& c) {
        double left = units_.x(c.at.x), top = units_.y(c.at.y);
        double right = units_.x(c.at.x + c.w), bottom = units_.y(c.at.y + c.h);
        if (c.fill) {
            Path path;
            path.ellipse(left, top, right, bottom);
            if (!front(device_.fillPath(path, static_cast<BYTE>(*c.fill)))) return false;
        }
        if (c.outline) {
            // A wide outline is the ring between two ellipses, filled even-odd; a thin one a stroke.
            double half = units_.length(c.width) / 2;
            Path path;
            if (half * 2 <= 1.5) {
                path.ellipse(left, top, right, bottom);
                return front(device_.strokePath(path, units_.pen(0, *c.outline)));
            }
            path.ellipse(left - half, top - half, right + half, bottom + half);
            if (right - left > 2 * half && bottom - top > 2 * half)
                path.ellipse(left + half, top + half, right - half, bottom - half);
            return front(device_.fillPath(path, static_cast<BYTE>(*c.outline), false));
        }
        return true;
    }
    bool paint(const ShapeCommand& c) {
        Path path;
        for (const ShapeCommand::Step& s : c.steps) {
            switch (s.op) {
            case 'M': path.moveTo(units_.point(s.points[0])); break;
            case 'L': path.lineTo(units_.point(s.points[0])); break;
            case 'C':
                path.bezierTo(units_.point(s.points[0]), units_.point(s.points[1]), units_.point(s.points[2]));
                break;
            default: path.close(); break;
            }
        }
        return front(device_.fillPath(path, static_cast<BYTE>(c.grey), !c.evenOdd));
    }
    bool paint(const ImageCommand& c) {
        auto it = input_.images.find(c.file);
        if (it == input_.images.end()) return fail("the picture " + c.file + " was not loaded");
        const Picture& p = *it->second;
        double w = c.w, h = c.h;
        if (w == 0) w = h * p.size.cx / p.size.cy;
        if (h == 0) h = w * p.size.cy / p.size.cx;
        return front(device_.picture(units_.rect(c.at, w, h), it->second));
    }

    PrinterDevice& device_;
    const Input& input_;
    FontCache& fonts_;
    Units units_;
    TextState state_;
    int number_, total_;
    std::string error_;
};

bool drawDescriptionPage(PrinterDevice& device, const Input& input, int index, int number, int total,
                         FontCache& fonts, std::string* why) {
    DescriptionPainter painter(device, input, fonts, number, total);
    for (int p = 0; p < index; ++p)
        for (const Located& item : input.description.pages[p]) painter.carry(item.command);
    for (const Located& item : input.description.pages[index])
        if (!painter.draw(item, why)) return false;
    return true;
}

// A picture scaled to fill the printable area as far as its proportions allow, centred.
bool drawPicturePage(PrinterDevice& device, const Input& input, std::string* why) {
    const auto& caps = device.caps();
    std::shared_ptr<const Picture> picture = input.picture;
    if (!picture && input.pending) picture = input.pending->get(why);
    if (!picture) {
        *why = input.path + ": " + *why;
        return false;
    }
    const Picture& p = *picture;
    double scale = std::min(double(caps.printable.cx) / p.size.cx, double(caps.printable.cy) / p.size.cy);
    LONG w = std::max<LONG>(1, static_cast<LONG>(std::lround(p.size.cx * scale)));
    LONG h = std::max<LONG>(1, static_cast<LONG>(std::lround(p.size.cy * scale)));
    LONG left = (caps.printable.cx - w) / 2, top = (caps.printable.cy - h) / 2;
    if (device.picture(RECTL{left, top, left + w, top + h}, picture)) return true;
    *why = input.path + ": " + device.lastError();
    return false;
}

// Rows of a PDF page that Poppler renders at a time.
constexpr LONG kPdfStripRows = 512;

// Where a PDF page lands: its resolution, the page's pixels from (pageLeft, pageTop) on, and the
// part of them on the printable area (`dest`, empty when none).
struct PdfPlacement {
    double dpiX = 0, dpiY = 0;
    LONG pageLeft = 0, pageTop = 0;
    RECTL dest{};
    bool empty() const { return dest.right <= dest.left || dest.bottom <= dest.top; }
    // dest in the page's own pixels.
    RECTL onPage() const {
        return RECTL{dest.left - pageLeft, dest.top - pageTop, dest.right - pageLeft, dest.bottom - pageTop};
    }
};

// A PDF page at its own size with its corner on the paper's corner, or scaled to the printable area.
PdfPlacement placePdfPage(const platform::printing::DeviceCaps& caps, const PdfDocument& pdf, int index,
                          const DrawOptions& options) {
    PdfPlacement at;
    const double wPt = pdf.pageWidth(index), hPt = pdf.pageHeight(index);
    double dpiX = caps.dpiX, dpiY = caps.dpiY;
    double left = -caps.printableOffset.x, top = -caps.printableOffset.y;
    if (options.fitPdf) {
        double scale = std::min(caps.printable.cx / (wPt * dpiX / 72), caps.printable.cy / (hPt * dpiY / 72));
        dpiX *= scale;
        dpiY *= scale;
        left = (caps.printable.cx - wPt * dpiX / 72) / 2;
        top = (caps.printable.cy - hPt * dpiY / 72) / 2;
    }
    LONG pageLeft = static_cast<LONG>(std::lround(left)), pageTop = static_cast<LONG>(std::lround(top));
    LONG pageW = static_cast<LONG>(std::ceil(wPt * dpiX / 72)), pageH = static_cast<LONG>(std::ceil(hPt * dpiY / 72));
    at.dpiX = dpiX;
    at.dpiY = dpiY;
    at.pageLeft = pageLeft;
    at.pageTop = pageTop;
    at.dest = RECTL{std::max<LONG>(pageLeft, 0), std::max<LONG>(pageTop, 0), std::min(pageLeft + pageW, caps.printable.cx),
                    std::min(pageTop + pageH, caps.printable.cy)};
    return at;
}

bool drawPdfPage(PrinterDevice& device, const Input& input, int index, const DrawOptions& options, std::string* why) {
    const PdfPlacement at = placePdfPage(device.caps(), *input.pdf, index, options);
    if (at.empty()) return true;
    // A page rendered ahead is drawn as it lies, in one DrvCopyBits; else it is rendered in strips
    // while it is drawn, only the parts a band shows.
    bool drawn;
    if (std::shared_ptr<const Picture> whole = options.ahead ? options.ahead->take(input, index) : nullptr) {
        drawn = device.picture(at.dest, std::move(whole));
    } else {
        auto pdf = input.pdf;
        auto source = [=](const RECTL& part, std::string* error) -> std::optional<Picture> {
            const RECTL page = at.onPage();
            RECTL onPage{part.left + page.left, part.top + page.top, part.right + page.left, part.bottom + page.top};
            return pdf->render(index, at.dpiX, at.dpiY, onPage, error);
        };
        drawn = device.renderedPicture(at.dest, source, kPdfStripRows);
    }
    if (drawn) return true;
    *why = input.path + ": page " + std::to_string(index + 1) + ": " + device.lastError();
    return false;
}

}  // namespace

int Input::pages() const {
    switch (kind) {
    case FileKind::kPageDescription: return static_cast<int>(description.pages.size());
    case FileKind::kPdf: return pdf ? pdf->pages() : 0;
    default: return picture || pending ? 1 : 0;
    }
}

std::optional<Input> loadInput(const std::string& path, FontCache& fonts, std::vector<std::string>* errors) {
    std::string why;
    auto file = readFile(path, &why);
    if (!file) {
        errors->push_back(why);
        return std::nullopt;
    }
    const std::string_view bytes = file->view();
    if (bytes.empty()) {
        errors->push_back(path + ": the file is empty: there is nothing to print");
        return std::nullopt;
    }
    Input input;
    input.path = path;
    input.folder = fs::path(path).parent_path().string();
    input.kind = sniff(bytes);
    std::error_code ec;
    if (input.kind == FileKind::kPdf && !fs::is_regular_file(path, ec)) {
        errors->push_back(path + ": a PDF is printed from a regular file (Poppler opens it by its name), not from a pipe "
                                 "or a device");
        return std::nullopt;
    }
    if (file->longer()) {
        errors->push_back(path + ": " +
                          (input.kind == FileKind::kPageDescription
                               ? "it goes on past " + std::to_string(kMaxDescriptionBytes >> 20) +
                                     " MiB, more than any page description can hold"
                               : kLongerThanAnyPicture));
        return std::nullopt;
    }
    switch (input.kind) {
    case FileKind::kPdf: {
        auto pdf = PdfDocument::open(path, &why);
        if (!pdf) {
            errors->push_back(why);
            return std::nullopt;
        }
        input.pdf = std::move(pdf);
        return input;
    }
    case FileKind::kNetpbm: {
        // P5 and P6 pictures are made on another thread while the job starts.
        std::optional<Picture> plain;
        input.pending = checkNetpbm(std::move(*file), &plain, &why);
        if (!input.pending && !plain) {
            errors->push_back(path + ": " + why);
            return std::nullopt;
        }
        if (plain) input.picture = std::make_shared<const Picture>(std::move(*plain));
        return input;
    }
    case FileKind::kPng: {
        auto picture = decodePng(bytes, &why);
        if (file->changed()) {
            picture.reset();
            why = kFileChanged;
        }
        if (!picture) {
            errors->push_back(path + ": " + why);
            return std::nullopt;
        }
        input.picture = std::make_shared<const Picture>(std::move(*picture));
        return input;
    }
    case FileKind::kPageDescription: break;
    }
    ParseResult parsed = parsePageDescription(bytes, path);
    if (file->changed()) {
        errors->push_back(path + ": " + kFileChanged);
        return std::nullopt;
    }
    if (!parsed.ok()) {
        errors->insert(errors->end(), parsed.errors.begin(), parsed.errors.end());
        return std::nullopt;
    }
    input.description = std::move(parsed.description);
    // Every font and picture the description names, opened now.
    const size_t before = errors->size();
    auto useFont = [&](const std::string& name, int line) {
        if (input.fonts.count(name)) return;
        std::string reason;
        const Font* font = fonts.get(name, input.folder, &reason);
        if (!font) {
            errors->push_back(path + ":" + std::to_string(line) + ": font " + name + ": " + reason);
            return;
        }
        input.fonts[name] = *font;
    };
    useFont(kDefaultFont, 0);
    for (const auto& page : input.description.pages)
        for (const Located& item : page) {
            if (auto* f = std::get_if<FontCommand>(&item.command)) useFont(f->name, item.line);
            if (auto* t = std::get_if<TextCommand>(&item.command))
                if (t->font) useFont(*t->font, item.line);
            if (auto* im = std::get_if<ImageCommand>(&item.command)) {
                if (input.images.count(im->file)) continue;
                auto picture = readPicture(resolved(input.folder, im->file), &why);
                if (!picture) {
                    errors->push_back(path + ":" + std::to_string(item.line) + ": " + why);
                    continue;
                }
                input.images[im->file] = std::make_shared<const Picture>(std::move(*picture));
            }
        }
    if (errors->size() != before) return std::nullopt;
    return input;
}

PagesAhead::PagesAhead(const std::vector<Input>& inputs, const platform::printing::DeviceCaps& caps,
                       const DrawOptions& options, int threads, int depth)
    : caps_(caps), options_(options), depth_(static_cast<size_t>(std::max(depth, 1))) {
    options_.ahead = nullptr;
    for (const Input& input : inputs)
        if (input.kind == FileKind::kPdf && input.pdf)
            for (int index = 0; index < input.pages(); ++index) {
                Job job;
                job.input = &input;
                job.index = index;
                jobs_.push_back(std::move(job));
            }
    if (jobs_.empty()) return;
    for (int i = 0; i < threads; ++i) {
        slots_.push_back(std::make_shared<Slot>());
        threads_.emplace_back([this, slot = slots_.back()] { work(slot); });
    }
}

PagesAhead::~PagesAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (const auto& slot : slots_) {
        {
            std::lock_guard<std::mutex> lock(slot->mutex);
            slot->stopping = true;
        }
        slot->freed.notify_all();
    }
    for (std::thread& t : threads_) t.join();
}

void PagesAhead::work(std::shared_ptr<Slot> slot) {
    std::map<const PdfDocument*, std::shared_ptr<PdfPageRenderer>> renderers;  // this thread's own
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // The first page not started among the first `depth` pages waiting.
        Job* job = nullptr;
        changed_.wait(lock, [&] {
            if (stopping_) return true;
            for (size_t i = 0; i < jobs_.size() && i < depth_; ++i)
                if (!jobs_[i].started) {
                    job = &jobs_[i];
                    return true;
                }
            return false;
        });
        if (stopping_) return;
        job->started = true;
        const Input& input = *job->input;
        const int index = job->index;
        lock.unlock();
        // The thread's bitmap is used again once the picture of its last page has been let go.
        {
            std::unique_lock<std::mutex> held(slot->mutex);
            slot->freed.wait(held, [&] { return !slot->busy || slot->stopping; });
            if (slot->stopping) return;
            slot->busy = true;
        }
        std::shared_ptr<const Picture> picture;
        std::string why;
        auto& renderer = renderers[input.pdf.get()];
        if (!renderer) renderer = PdfPageRenderer::open(input.pdf, input.path, &why);
        if (renderer) {
            // The whole page in one render, so that each of its pictures is decoded and scaled once;
            // its rows stay in the renderer's bitmap, written on this thread, and are drawn from there.
            const PdfPlacement at = placePdfPage(caps_, *input.pdf, index, options_);
            if (!at.empty())
                if (auto whole = renderer->render(index, at.dpiX, at.dpiY, at.onPage(), &why)) {
                    // Letting the picture go frees the bitmap for this thread's next page.
                    auto inner = std::move(whole->keeper);
                    whole->keeper = std::shared_ptr<const void>(whole->outside, [inner, slot](const void*) mutable {
                        inner.reset();
                        {
                            std::lock_guard<std::mutex> held(slot->mutex);
                            slot->busy = false;
                        }
                        slot->freed.notify_all();
                    });
                    picture = std::make_shared<const Picture>(std::move(*whole));
                }
        }
        if (!picture) {
            std::lock_guard<std::mutex> held(slot->mutex);
            slot->busy = false;
        }
        lock.lock();
        // The job stays where it was: only take() removes jobs, and only the printing thread.
        for (Job& j : jobs_)
            if (j.input == &input && j.index == index) {
                j.picture = std::move(picture);
                j.done = true;
            }
        changed_.notify_all();
    }
}

std::shared_ptr<const Picture> PagesAhead::take(const Input& input, int index) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!jobs_.empty() && !(jobs_.front().input == &input && jobs_.front().index == index)) {
        if (jobs_.front().started && !jobs_.front().done) {
            changed_.wait(lock);  // a page passed over is still being rendered: its thread finishes it first
            continue;
        }
        jobs_.pop_front();
        changed_.notify_all();
    }
    if (jobs_.empty() || threads_.empty()) return nullptr;
    // Workers take the pages in order, so one not begun yet is the next a free worker takes.
    changed_.wait(lock, [&] { return jobs_.front().done; });
    std::shared_ptr<const Picture> picture = std::move(jobs_.front().picture);
    jobs_.pop_front();
    changed_.notify_all();
    return picture;
}

bool drawPage(PrinterDevice& device, const Input& input, int index, int number, int total, FontCache& fonts,
              const DrawOptions& options, std::string* why) {
    switch (input.kind) {
    case FileKind::kPageDescription: return drawDescriptionPage(device, input, index, number, total, fonts, why);
    case FileKind::kPdf: return drawPdfPage(device, input, index, options, why);
    default: return drawPicturePage(device, input, why);
    }
}

}  // namespace rastrel_print
