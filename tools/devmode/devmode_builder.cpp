#include "devmode_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {
// Offsets of the fields, written out again here as the settings part knows them.
enum : size_t {
    kSpecVersion = 64, kDmSize = 68, kDmDriverExtra = 70, kFields = 72, kOrientation = 76, kPaperSize = 78,
    kPaperLength = 80, kPaperWidth = 82, kScale = 84, kCopies = 86, kDefaultSource = 88, kPrintQuality = 90,
    kDuplex = 94, kCollate = 100, kMediaType = 196,
    kSignature = 220, kVersion = 224, kMode226 = 226, kReverse = 230, kValue496 = 496, kPagesPerSheet = 500,
    kNupOrder = 502, kBorder = 504, kPaperOption = 520, kDensityOff = 2166, kRotate = 2168, kMirror = 2170,
    kDensity = 2172, kNegative = 2174, kZoom = 2176, kFirstPage = 2178, kMarkKind = 2182, kMarkText = 2250,
    kMarkFace = 2380, kMarkImage = 2444, kMarkSize = 2964, kMarkBold = 2966, kMarkItalic = 2968,
    kMarkBlend = 2970, kMarkAngle = 2974, kMarkPosition = 2978, kMarkX = 2990, kMarkY = 2992, kMarkDarkness = 2994,
};
}  // namespace

DevmodeBuilder::DevmodeBuilder() : bytes_(kFullSize, 0) {
    putText(0, 32, u"Printer");
    put16(kSpecVersion, 0x0401);
    put16(kDmSize, 220);
    put16(kDmDriverExtra, static_cast<int16_t>(kFullSize - 220));
    put32(kFields, DM_ORIENTATION | DM_PAPERSIZE | DM_SCALE | DM_COPIES | DM_DEFAULTSOURCE | DM_PRINTQUALITY |
                       DM_DUPLEX | DM_COLLATE | DM_MEDIATYPE);
    put16(kOrientation, DMORIENT_PORTRAIT);
    put16(kPaperSize, DMPAPER_A4);
    put16(kPaperLength, 2970);
    put16(kPaperWidth, 2100);
    put16(kScale, 100);
    put16(kCopies, 1);
    put16(kDefaultSource, 7);  // automatic
    put16(kPrintQuality, 600);
    put16(kDuplex, DMDUP_SIMPLEX);
    put16(kCollate, DMCOLLATE_FALSE);
    put32(kMediaType, 1);
    put32(kSignature, 0x56495250);
    put16(kVersion, 1);
    put16(kMode226, 1);
    put32(kValue496, 100);
    put16(kPagesPerSheet, 1);
    put16(kDensity, 2);
    put16(kZoom, 100);
    put16(kMarkPosition, 5);
    put16(kMarkDarkness, 2);
}

DevmodeBuilder::DevmodeBuilder(std::string_view bytes) : DevmodeBuilder() {
    if (bytes.size() < 72) throw std::invalid_argument("a DEVMODE of " + std::to_string(bytes.size()) + " bytes has no size fields");
    uint16_t dmSize, driverExtra;
    std::memcpy(&dmSize, bytes.data() + kDmSize, 2);
    std::memcpy(&driverExtra, bytes.data() + kDmDriverExtra, 2);
    const size_t declared = std::min<size_t>(size_t(dmSize) + driverExtra, bytes.size());
    if (declared >= kFullSize) {
        bytes_.assign(bytes.begin(), bytes.begin() + declared);
        return;
    }
    std::memcpy(bytes_.data(), bytes.data(), std::max<size_t>(declared, 72));
    put16(kDmSize, 220);
    put16(kDmDriverExtra, static_cast<int16_t>(kFullSize - 220));
}

DevmodeBuilder& DevmodeBuilder::paper(int16_t id) { return put16(kPaperSize, id); }
DevmodeBuilder& DevmodeBuilder::customSize(int16_t width, int16_t length) {
    put16(kPaperWidth, width);
    return put16(kPaperLength, length);
}
DevmodeBuilder& DevmodeBuilder::orientation(int16_t value) { return put16(kOrientation, value); }
DevmodeBuilder& DevmodeBuilder::quality(int16_t dpi) { return put16(kPrintQuality, dpi); }
DevmodeBuilder& DevmodeBuilder::copies(int16_t count) { return put16(kCopies, count); }
DevmodeBuilder& DevmodeBuilder::collate(bool on) { return put16(kCollate, on ? 1 : 0); }
DevmodeBuilder& DevmodeBuilder::duplex(int16_t value) { return put16(kDuplex, value); }
DevmodeBuilder& DevmodeBuilder::scale(int16_t percent) { return put16(kScale, percent); }
DevmodeBuilder& DevmodeBuilder::source(int16_t bin) { return put16(kDefaultSource, bin); }
DevmodeBuilder& DevmodeBuilder::mediaType(uint32_t type) { return put32(kMediaType, type); }
DevmodeBuilder& DevmodeBuilder::pagesPerSheet(int16_t count) { return put16(kPagesPerSheet, count); }
DevmodeBuilder& DevmodeBuilder::nupOrder(int16_t order) { return put16(kNupOrder, order); }
DevmodeBuilder& DevmodeBuilder::border(bool on) { return put16(kBorder, on ? 1 : 0); }
DevmodeBuilder& DevmodeBuilder::reverse(bool on) { return put16(kReverse, on ? 1 : 0); }
DevmodeBuilder& DevmodeBuilder::paperOption(int16_t option) { return put16(kPaperOption, option); }
DevmodeBuilder& DevmodeBuilder::density(int16_t level) { return put16(kDensity, level); }
DevmodeBuilder& DevmodeBuilder::densityOff(bool on) { return put16(kDensityOff, on ? 1 : 0); }
DevmodeBuilder& DevmodeBuilder::rotate180(bool on) { return put16(kRotate, on ? 1 : 0); }
DevmodeBuilder& DevmodeBuilder::mirror(bool on) { return put16(kMirror, on ? 1 : 0); }
DevmodeBuilder& DevmodeBuilder::negative(bool on) { return put16(kNegative, on ? 1 : 0); }
DevmodeBuilder& DevmodeBuilder::zoom(int16_t percent) { return put16(kZoom, percent); }

DevmodeBuilder& DevmodeBuilder::textWatermark(const std::u16string& text, const std::u16string& face, int16_t points,
                                              int16_t angle, int16_t darknessLevel) {
    put16(kMarkKind, 1);
    putText(kMarkText, 64, text);
    putText(kMarkFace, 32, face);
    put16(kMarkSize, points);
    put16(kMarkAngle, angle);
    return put16(kMarkDarkness, darknessLevel);
}

DevmodeBuilder& DevmodeBuilder::imageWatermark(const std::u16string& path, bool blend) {
    put16(kMarkKind, 2);
    putText(kMarkImage, 260, path);
    return put16(kMarkBlend, blend ? 1 : 0);
}

DevmodeBuilder& DevmodeBuilder::watermarkFirstPageOnly(bool on) { return put16(kFirstPage, on ? 1 : 0); }

DevmodeBuilder& DevmodeBuilder::watermarkPosition(int16_t mode, int16_t xPercent, int16_t yPercent) {
    put16(kMarkPosition, mode);
    put16(kMarkX, xPercent);
    return put16(kMarkY, yPercent);
}

DevmodeBuilder& DevmodeBuilder::put16(size_t offset, int16_t value) {
    if (offset + 2 > bytes_.size()) throw std::out_of_range("DEVMODE field outside the buffer");
    std::memcpy(bytes_.data() + offset, &value, 2);
    return *this;
}

DevmodeBuilder& DevmodeBuilder::put32(size_t offset, uint32_t value) {
    if (offset + 4 > bytes_.size()) throw std::out_of_range("DEVMODE field outside the buffer");
    std::memcpy(bytes_.data() + offset, &value, 4);
    return *this;
}

DevmodeBuilder& DevmodeBuilder::putText(size_t offset, size_t chars, const std::u16string& text) {
    if (offset + chars * 2 > bytes_.size()) throw std::out_of_range("DEVMODE field outside the buffer");
    std::memset(bytes_.data() + offset, 0, chars * 2);
    std::memcpy(bytes_.data() + offset, text.data(), std::min(text.size(), chars) * 2);
    return *this;
}

int16_t DevmodeBuilder::get16(size_t offset) const {
    int16_t value;
    std::memcpy(&value, bytes_.data() + offset, 2);
    return value;
}

uint32_t DevmodeBuilder::get32(size_t offset) const {
    uint32_t value;
    std::memcpy(&value, bytes_.data() + offset, 4);
    return value;
}

DevmodeBuilder& DevmodeBuilder::sizes(uint16_t dmSize, uint16_t driverExtra) {
    size_t total = size_t(dmSize) + driverExtra;
    bytes_.resize(std::max<size_t>(total, 72));
    std::memcpy(bytes_.data() + kDmSize, &dmSize, 2);
    std::memcpy(bytes_.data() + kDmDriverExtra, &driverExtra, 2);
    bytes_.resize(std::max<size_t>(total, 72));  // the size fields themselves always stay
    return *this;
}
