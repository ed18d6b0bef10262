// Small BMP and ICO files made in memory for the resource tests, with pixels a test can predict.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "rescomp/writer.h"
#include "win/gdi.h"
#include "win/kernel.h"

namespace resources_test {

inline void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
inline void set32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline uint32_t get32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

inline size_t rowBytes(int width, int bpp) { return ((static_cast<size_t>(width) * bpp + 31) / 32) * 4; }

// A DIB: info header, colour table, rows. `pixel(x, y)` gives the value at (x, y) counted from the
// top-left corner: a table index for 1 to 8 bits, 0xRRGGBB for 24 and 32 bits. The rows are stored
// bottom-up unless `topDown`. `tableEntries` entries are written; `clrUsed` goes into the header.
struct DibShape {
    int width = 1;
    int height = 1;
    int bpp = 24;
    bool topDown = false;
    std::vector<COLORREF> table;  // RGB() values
    uint32_t clrUsed = 0;
    std::function<uint32_t(int x, int y)> pixel;
};

inline std::string dibRows(const DibShape& d, int rowsStored) {
    std::string rows;
    size_t stride = rowBytes(d.width, d.bpp);
    for (int r = 0; r < rowsStored; ++r) {
        int y = d.topDown ? r : rowsStored - 1 - r;
        std::string row(stride, '\0');
        for (int x = 0; x < d.width; ++x) {
            uint32_t v = d.pixel ? d.pixel(x, y) : 0;
            if (d.bpp == 24 || d.bpp == 32) {
                size_t at = static_cast<size_t>(x) * (d.bpp / 8);
                row[at] = static_cast<char>(v & 0xFF);              // blue
                row[at + 1] = static_cast<char>((v >> 8) & 0xFF);   // green
                row[at + 2] = static_cast<char>((v >> 16) & 0xFF);  // red
            } else {
                size_t bit = static_cast<size_t>(x) * d.bpp;
                unsigned shift = 8 - d.bpp - (bit % 8);
                row[bit / 8] = static_cast<char>(static_cast<unsigned char>(row[bit / 8]) | (v << shift));
            }
        }
        rows += row;
    }
    return rows;
}

inline std::string dibHeader(const DibShape& d, int storedHeight) {
    std::string h;
    put32(h, 40);
    put32(h, static_cast<uint32_t>(d.width));
    put32(h, static_cast<uint32_t>(d.topDown ? -storedHeight : storedHeight));
    put16(h, 1);
    put16(h, static_cast<uint32_t>(d.bpp));
    put32(h, 0);  // BI_RGB
    put32(h, 0);
    put32(h, 2835);
    put32(h, 2835);
    put32(h, d.clrUsed);
    put32(h, 0);
    for (COLORREF c : d.table) {
        h += static_cast<char>(GetBValue(c));
        h += static_cast<char>(GetGValue(c));
        h += static_cast<char>(GetRValue(c));
        h += '\0';
    }
    return h;
}

inline std::string bmpFile(const DibShape& d) {
    std::string info = dibHeader(d, d.height);
    std::string rows = dibRows(d, d.height);
    std::string f = "BM";
    put32(f, static_cast<uint32_t>(14 + info.size() + rows.size()));
    put32(f, 0);
    put32(f, static_cast<uint32_t>(14 + info.size()));
    return f + info + rows;
}

// An ICO of the given images (each a colour DIB with an AND mask where `masked(x, y)` is 1).
struct IconSpec {
    DibShape color;
    std::function<bool(int x, int y)> masked;
};
inline std::string icoFile(const std::vector<IconSpec>& images) {
    std::string dir, data;
    put16(dir, 0);
    put16(dir, 1);
    put16(dir, static_cast<uint32_t>(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (const IconSpec& image : images) {
        DibShape mask;
        mask.width = image.color.width;
        mask.height = image.color.height;
        mask.bpp = 1;
        mask.pixel = [&](int x, int y) { return image.masked && image.masked(x, y) ? 1u : 0u; };
        std::string bytes = dibHeader(image.color, image.color.height * 2) + dibRows(image.color, image.color.height) +
                            dibRows(mask, mask.height);
        dir += static_cast<char>(image.color.width & 0xFF);
        dir += static_cast<char>(image.color.height & 0xFF);
        dir += '\0';
        dir += '\0';
        put16(dir, 1);
        put16(dir, static_cast<uint32_t>(image.color.bpp));
        put32(dir, static_cast<uint32_t>(bytes.size()));
        put32(dir, static_cast<uint32_t>(offset));
        offset += bytes.size();
        data += bytes;
    }
    return dir + data;
}

// Writes a resource file into the machine and loads it.
inline HMODULE loadResources(const platform::testing::Machine& machine, const std::string& bytes,
                             const std::u16string& path = u"C:\\Program Files\\Test\\kelrtest.dll") {
    machine.writeFile(path, bytes);
    return LoadLibraryW(path.c_str());
}

}  // namespace resources_test
