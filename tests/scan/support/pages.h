// Scanned pages for the writer tests: a page stream as the scan thread leaves it (a top-down Windows
// bitmap in a memory stream), its expected pixels, and readers of what the outside checkers print.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "win/com.h"

namespace pages {

struct Page {
    int width = 0;
    int height = 0;
    int bits = 24;  // 1, 8 or 24
    int dpi = 300;
};

// The bitmap file of a page: header as the scanner binding builds it (pixels per metre = dpi x 39.37,
// grey palette, negative height), rows top-down, a pattern of blocks that survives JPEG.
std::string Bitmap(const Page& page);
// The pattern's colour at a pixel: red, green, blue.
void Pixel(const Page& page, int x, int y, uint8_t rgb[3]);
// A stream holding the bytes, its position at the end (as after the scan thread's writes). The
// caller releases it.
IStream* StreamOf(const std::string& bytes);

// A picture as red, green, blue bytes.
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};
// Reads a PNM (P4, P5 or P6 with maxval 255); an empty raster for anything else.
Raster ReadPnm(const std::string& bytes);
// Every factor-th pixel of a raster drawn at factor times the size, taken at the centres of the cells.
Raster Centres(const Raster& raster, int factor);
// The mean and the largest difference of the channels between a raster and the page (over the
// page's size; a raster of another size gives 255, 255).
struct Difference {
    double mean = 255;
    int largest = 255;
};
Difference Compare(const Raster& raster, const Page& page);

// Runs a shell command; its exit status and what it printed (both streams).
struct Run {
    int status = -1;
    std::string output;
};
Run Shell(const std::string& command);
std::string Quoted(const std::filesystem::path& path);
std::string ReadHostFile(const std::filesystem::path& path);

// GDI+ started for one test.
struct Gdiplus {
    Gdiplus();
    ~Gdiplus();
    ULONG_PTR token = 0;
};

}  // namespace pages
