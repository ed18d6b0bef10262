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
    // The same for a part that lies on the page, in one render whose rows are Poppler's own (no
    // copy): the picture keeps Poppler's image alive.
    std::optional<platform::printing::Picture> renderPage(int index, double dpiX, double dpiY, const RECTL& part,
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

}  // namespace rastrel_print
