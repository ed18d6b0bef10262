// Writes DEVMODEs as the driver's settings part does: the public DEVMODE followed by the private part
// signed "PRIV", 5064 bytes in all, every field at its byte offset. A stand-in for that settings part,
// used by tests and tools to hand the driver the settings a user chose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win/spooler.h"

class DevmodeBuilder {
public:
    static constexpr size_t kFullSize = 5064;

    // The settings part's defaults: A4 portrait, 600 dpi, one copy, one page a sheet, zoom 100.
    DevmodeBuilder();
    // A DEVMODE read back, such as a printer's default: its bytes as they are. One shorter than the
    // full size (an older or public-only DEVMODE) keeps what it has over the defaults above and gets
    // the full size, as the settings part completes a DEVMODE it is handed. Fewer than 72 bytes (no
    // size fields): std::invalid_argument.
    explicit DevmodeBuilder(std::string_view bytes);

    // Public fields.
    DevmodeBuilder& paper(int16_t id);
    DevmodeBuilder& customSize(int16_t widthTenthsMm, int16_t lengthTenthsMm);
    DevmodeBuilder& orientation(int16_t value);
    DevmodeBuilder& landscape() { return orientation(DMORIENT_LANDSCAPE); }
    DevmodeBuilder& quality(int16_t dpi);
    DevmodeBuilder& copies(int16_t count);
    DevmodeBuilder& collate(bool on);
    DevmodeBuilder& duplex(int16_t value);
    DevmodeBuilder& scale(int16_t percent);
    DevmodeBuilder& source(int16_t bin);
    DevmodeBuilder& mediaType(uint32_t type);
    // Private part.
    DevmodeBuilder& pagesPerSheet(int16_t count);
    DevmodeBuilder& nupOrder(int16_t order);
    DevmodeBuilder& border(bool on);
    DevmodeBuilder& reverse(bool on);
    DevmodeBuilder& paperOption(int16_t option);
    DevmodeBuilder& density(int16_t level);
    DevmodeBuilder& densityOff(bool on);
    DevmodeBuilder& rotate180(bool on);
    DevmodeBuilder& mirror(bool on);
    DevmodeBuilder& negative(bool on);
    DevmodeBuilder& zoom(int16_t percent);
    DevmodeBuilder& textWatermark(const std::u16string& text, const std::u16string& face, int16_t points,
                                  int16_t angle, int16_t darknessLevel);
    DevmodeBuilder& imageWatermark(const std::u16string& path, bool blend);
    DevmodeBuilder& watermarkFirstPageOnly(bool on);
    DevmodeBuilder& watermarkPosition(int16_t mode, int16_t xPercent, int16_t yPercent);

    // Raw access by offset.
    DevmodeBuilder& put16(size_t offset, int16_t value);
    DevmodeBuilder& put32(size_t offset, uint32_t value);
    DevmodeBuilder& putText(size_t offset, size_t chars, const std::u16string& text);
    int16_t get16(size_t offset) const;
    uint32_t get32(size_t offset) const;
    // Sets dmSize and dmDriverExtra and makes the buffer their sum long (never shorter than the
    // 72 bytes that hold the two fields).
    DevmodeBuilder& sizes(uint16_t dmSize, uint16_t driverExtra);

    DEVMODEW* devmode() { return reinterpret_cast<DEVMODEW*>(bytes_.data()); }
    const std::vector<unsigned char>& bytes() const { return bytes_; }
    std::string str() const { return std::string(bytes_.begin(), bytes_.end()); }

private:
    std::vector<unsigned char> bytes_;
};
