// rastrel-print's inputs and how each of their pages is drawn through the printing front: page
// descriptions (millimetres to device pixels, text by the platform's font engine), pictures fitted
// to the printable area and PDF pages rasterised at the device's resolution.
#pragma once

#include <map>
#include <memory>
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
    std::shared_ptr<PdfDocument> pdf;

    int pages() const;
};

// Reads and checks an input completely, fonts and pictures of a description included, so that
// printing does not stop half-way. Nothing, with the messages in *errors, when it is unusable.
std::optional<Input> loadInput(const std::string& path, FontCache& fonts, std::vector<std::string>* errors);

struct DrawOptions {
    bool fitPdf = false;  // scale PDF pages to the printable area instead of printing them at their size
};

// Draws page `index` of the input on the device's open page, as page `number` of the job's `total`.
bool drawPage(platform::printing::PrinterDevice& device, const Input& input, int index, int number, int total,
              FontCache& fonts, const DrawOptions& options, std::string* why);

}  // namespace rastrel_print
