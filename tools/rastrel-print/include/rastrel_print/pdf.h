// PDF pages rasterised with Poppler at the device's resolution, as 8-bit grey pictures.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/printing.h"

namespace rastrel_print {

class PdfDocument {
public:
    // Opens a PDF; nothing with the reason in *why when Poppler cannot load it or it is locked.
    static std::unique_ptr<PdfDocument> open(const std::string& path, std::string* why);
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    int pages() const;
    // A page's size in points (1/72 inch) as it is shown, its rotation applied.
    double pageWidth(int index) const;
    double pageHeight(int index) const;
    // Renders `part` (pixels of the page drawn at dpiX x dpiY, from its top-left corner) as a
    // BMF_8BPP grey picture (the grey ramp) on white; the area past the page's edges stays white.
    std::optional<platform::printing::Picture> render(int index, double dpiX, double dpiY, const RECTL& part,
                                                      std::string* why) const;
    // The same into rows intoTop.. of an 8-bit picture at least part's width and height: what lies
    // off the page is left as it is there. False, with the reason in *why, when Poppler fails.
    bool renderInto(int index, double dpiX, double dpiY, const RECTL& part, platform::printing::Picture& into,
                    LONG intoTop, std::string* why) const;

private:
    struct Impl;
    explicit PdfDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Whole pages of a PDF rendered by one thread, each in one render, so that every picture on a page
// is decoded and scaled once. Poppler's renderer is kept from page to page with the fonts it loaded
// and its page bitmap (one byte of grey a pixel, beside the coverage plane its renderer blends on
// white), so the next page of the same size is rendered into memory that is already there and
// faulted in, off the printing thread. A page handed out lies in that bitmap: the caller lets its
// picture go before it asks for the next page.
class PdfPageRenderer : public std::enable_shared_from_this<PdfPageRenderer> {
public:
    // Opens the PDF at `path`, the one `opened` was opened from, for this renderer alone (page
    // sizes are `opened`'s); nothing with the reason in *why when Poppler cannot.
    static std::shared_ptr<PdfPageRenderer> open(std::shared_ptr<const PdfDocument> opened, const std::string& path,
                                                 std::string* why);
    ~PdfPageRenderer();
    PdfPageRenderer(const PdfPageRenderer&) = delete;
    PdfPageRenderer& operator=(const PdfPageRenderer&) = delete;

    int pages() const;
    // `part` of page `index` (pixels of the page drawn at dpiX x dpiY, lying on the page) exactly as
    // PdfDocument::render gives it, rows in the renderer's bitmap: the picture keeps the renderer
    // alive. Nothing, with the reason in *why, when Poppler gives no bitmap of the part's size.
    std::optional<platform::printing::Picture> render(int index, double dpiX, double dpiY, const RECTL& part,
                                                      std::string* why);

private:
    struct Impl;
    explicit PdfPageRenderer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace rastrel_print
