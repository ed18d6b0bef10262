// PDF pages through Poppler: its C++ library opens the document and renders a slice of a page at
// the asked resolution (what lies past the page's edges is left white); whole pages rendered ahead
// go through Poppler's own renderer classes, which the C++ library is made of, so that the renderer
// and its bitmap can be kept from page to page.
//
// Poppler's own headers come first: they are written without the Windows names in view.
#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <goo/GooString.h>
#include <splash/SplashBitmap.h>

#include "rastrel_print/pdf.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rastrel_print {

using platform::printing::Picture;

namespace {

// Poppler's complaints, kept for the error message instead of going to the terminal (each thread's
// own: pages are rendered on several).
std::string& popplerMessage() {
    thread_local std::string message;
    return message;
}

void keepMessage(const std::string& message, void*) { popplerMessage() = message; }

void quietPoppler() {
    static const bool done = [] {
        poppler::set_debug_error_function(keepMessage, nullptr);
        return true;
    }();
    (void)done;
}

}  // namespace

struct PdfDocument::Impl {
    std::unique_ptr<poppler::document> document;
    std::vector<std::unique_ptr<poppler::page>> pages;
    std::vector<std::pair<double, double>> sizes;  // shown size in points
};

PdfDocument::PdfDocument(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PdfDocument::~PdfDocument() = default;

std::unique_ptr<PdfDocument> PdfDocument::open(const std::string& path, std::string* why) {
    quietPoppler();
    popplerMessage().clear();
    auto impl = std::make_unique<Impl>();
    impl->document.reset(poppler::document::load_from_file(path));
    if (!impl->document) {
        *why = path + ": Poppler cannot load it as a PDF" +
               (popplerMessage().empty() ? std::string() : " (" + popplerMessage() + ")");
        return nullptr;
    }
    if (impl->document->is_locked()) {
        *why = path + ": the PDF is locked with a password";
        return nullptr;
    }
    int count = impl->document->pages();
    if (count <= 0) {
        *why = path + ": the PDF has no pages";
        return nullptr;
    }
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<poppler::page> page(impl->document->create_page(i));
        if (!page) {
            *why = path + ": page " + std::to_string(i + 1) + " cannot be read";
            return nullptr;
        }
        poppler::rectf box = page->page_rect(poppler::crop_box);
        double w = std::fabs(box.width()), h = std::fabs(box.height());
        if (!(w >= 1 && h >= 1 && w <= 14400 && h <= 14400)) {
            *why = path + ": page " + std::to_string(i + 1) + " has an unusable size (" + std::to_string(w) + " x " +
                   std::to_string(h) + " points)";
            return nullptr;
        }
        auto turn = page->orientation();
        if (turn == poppler::page::landscape || turn == poppler::page::seascape) std::swap(w, h);
        impl->sizes.emplace_back(w, h);
        impl->pages.push_back(std::move(page));
    }
    return std::unique_ptr<PdfDocument>(new PdfDocument(std::move(impl)));
}

int PdfDocument::pages() const { return static_cast<int>(impl_->pages.size()); }
double PdfDocument::pageWidth(int index) const { return impl_->sizes.at(index).first; }
double PdfDocument::pageHeight(int index) const { return impl_->sizes.at(index).second; }

std::optional<Picture> PdfDocument::render(int index, double dpiX, double dpiY, const RECTL& part,
                                           std::string* why) const {
    if (index < 0 || index >= pages()) {
        *why = "no page " + std::to_string(index + 1);
        return std::nullopt;
    }
    Picture picture = Picture::blank(part.right - part.left, part.bottom - part.top, BMF_8BPP);
    if (picture.size.cx <= 0 || picture.size.cy <= 0) {
        *why = "an empty part of the page was asked for";
        return std::nullopt;
    }
    if (!renderInto(index, dpiX, dpiY, part, picture, 0, why)) return std::nullopt;
    return picture;
}

namespace {

// Poppler's renderer as the pages are drawn: grey (a quarter of the bytes of colour, and the engine
// takes the rows as they are), smoothed, on white paper.
poppler::image renderGrey(const poppler::page* page, double dpiX, double dpiY, const RECTL& on) {
    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_image_format(poppler::image::format_gray8);
    renderer.set_paper_color(0xFFFFFFFF);
    popplerMessage().clear();
    return renderer.render_page(page, dpiX, dpiY, on.left, on.top, on.right - on.left, on.bottom - on.top);
}

std::string cannotRender(int index) {
    return "Poppler cannot render page " + std::to_string(index + 1) +
           (popplerMessage().empty() ? std::string() : " (" + popplerMessage() + ")");
}

}  // namespace

bool PdfDocument::renderInto(int index, double dpiX, double dpiY, const RECTL& part, Picture& into, LONG intoTop,
                             std::string* why) const {
    // Only the part that lies on the page is rendered; the rest of `into` is left as it is.
    const LONG pageW = static_cast<LONG>(std::ceil(pageWidth(index) * dpiX / 72.0));
    const LONG pageH = static_cast<LONG>(std::ceil(pageHeight(index) * dpiY / 72.0));
    RECTL on{std::max<LONG>(part.left, 0), std::max<LONG>(part.top, 0), std::min(part.right, pageW),
             std::min(part.bottom, pageH)};
    if (on.right <= on.left || on.bottom <= on.top) return true;
    poppler::image image = renderGrey(impl_->pages[index].get(), dpiX, dpiY, on);
    if (!image.is_valid() || image.format() != poppler::image::format_gray8) {
        *why = cannotRender(index);
        return false;
    }
    const LONG w = std::min<LONG>(image.width(), on.right - on.left);
    const LONG h = std::min<LONG>(image.height(), on.bottom - on.top);
    for (LONG y = 0; y < h; ++y) {
        const char* src = image.const_data() + static_cast<size_t>(y) * image.bytes_per_row();
        BYTE* dst = into.row(intoTop + on.top - part.top + y) + (on.left - part.left);
        std::memcpy(dst, src, static_cast<size_t>(w));
    }
    return true;
}

struct PdfPageRenderer::Impl {
    std::shared_ptr<const PdfDocument> opened;  // keeps Poppler's globals set up while this renders
    std::unique_ptr<PDFDoc> document;
    std::unique_ptr<SplashOutputDev> output;
};

PdfPageRenderer::PdfPageRenderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PdfPageRenderer::~PdfPageRenderer() = default;

std::shared_ptr<PdfPageRenderer> PdfPageRenderer::open(std::shared_ptr<const PdfDocument> opened,
                                                       const std::string& path, std::string* why) {
    quietPoppler();
    popplerMessage().clear();
    auto impl = std::make_unique<Impl>();
    impl->opened = std::move(opened);
    impl->document = std::make_unique<PDFDoc>(std::make_unique<GooString>(path));
    if (!impl->document->isOk() || !impl->opened || impl->document->getNumPages() != impl->opened->pages()) {
        *why = path + ": Poppler cannot load it again to render its pages" +
               (popplerMessage().empty() ? std::string() : " (" + popplerMessage() + ")");
        return nullptr;
    }
    // The settings the C++ library's renderer is given for renderGrey, so that a page comes out as
    // the printing thread's strips do: grey with its coverage plane, rows padded to 4 bytes,
    // top-down, on white paper, shapes and text smoothed, no hinting.
    SplashColor white{0xFF, 0xFF, 0xFF, 0xFF};
    impl->output = std::make_unique<SplashOutputDev>(splashModeMono8, 4, false, white, true, splashThinLineDefault,
                                                     false);
    impl->output->setVectorAntialias(true);
    impl->output->setFontAntialias(true);
    impl->output->setFreeTypeHinting(false, false);
    impl->output->startDoc(impl->document.get());
    return std::shared_ptr<PdfPageRenderer>(new PdfPageRenderer(std::move(impl)));
}

int PdfPageRenderer::pages() const { return impl_->opened->pages(); }

std::optional<Picture> PdfPageRenderer::render(int index, double dpiX, double dpiY, const RECTL& part,
                                               std::string* why) {
    if (index < 0 || index >= pages()) {
        *why = "no page " + std::to_string(index + 1);
        return std::nullopt;
    }
    const LONG pageW = static_cast<LONG>(std::ceil(impl_->opened->pageWidth(index) * dpiX / 72.0));
    const LONG pageH = static_cast<LONG>(std::ceil(impl_->opened->pageHeight(index) * dpiY / 72.0));
    const LONG w = part.right - part.left, h = part.bottom - part.top;
    if (w <= 0 || h <= 0 || part.left < 0 || part.top < 0 || part.right > pageW || part.bottom > pageH) {
        *why = "the part asked for does not lie on page " + std::to_string(index + 1);
        return std::nullopt;
    }
    popplerMessage().clear();
    impl_->document->displayPageSlice(impl_->output.get(), index + 1, dpiX, dpiY, 0, false, true, false, part.left,
                                      part.top, w, h, nullptr, nullptr, nullptr, nullptr, true);
    SplashBitmap* bitmap = impl_->output->getBitmap();
    if (!bitmap || bitmap->getMode() != splashModeMono8 || bitmap->getWidth() != w || bitmap->getHeight() != h ||
        bitmap->getRowSize() % 4 != 0 || bitmap->getRowSize() < w || !bitmap->getDataPtr()) {
        *why = cannotRender(index);
        return std::nullopt;
    }
    Picture picture;
    picture.size = SIZEL{w, h};
    picture.format = BMF_8BPP;
    picture.stride = bitmap->getRowSize();
    picture.palette = Picture::blank(1, 1, BMF_8BPP).palette;
    picture.outside = bitmap->getDataPtr();
    picture.outsideBytes = static_cast<size_t>(picture.stride) * static_cast<size_t>(h);
    picture.keeper = shared_from_this();
    return picture;
}

}  // namespace rastrel_print
