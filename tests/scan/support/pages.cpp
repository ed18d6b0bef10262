// Scanned pages and checker output for the writer tests.
#include "pages.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "win/gdiplus.h"

namespace pages {

namespace {

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

void Pixel(const Page& page, int x, int y, uint8_t rgb[3]) {
    if (page.bits == 1) {
        uint8_t v = ((x / 8 + y / 8) % 2) ? 255 : 0;
        rgb[0] = rgb[1] = rgb[2] = v;
    } else if (page.bits == 8) {
        uint8_t v = static_cast<uint8_t>(((x / 16) * 53 + (y / 16) * 97) % 256);
        rgb[0] = rgb[1] = rgb[2] = v;
    } else {
        rgb[0] = static_cast<uint8_t>(((x / 16) * 71 + 20) % 256);
        rgb[1] = static_cast<uint8_t>(((y / 16) * 113 + 40) % 256);
        rgb[2] = static_cast<uint8_t>((((x + y) / 16) * 29 + 60) % 256);
    }
}

std::string Bitmap(const Page& page) {
    const int entries = page.bits < 24 ? 1 << page.bits : 0;
    const uint32_t stride = ((page.bits * page.width + 31) / 32) * 4;
    const uint32_t offBits = 54 + 4 * entries;
    const int32_t ppm = static_cast<int32_t>(page.dpi * 39.37);
    std::string out = "BM";
    put32(out, offBits + stride * page.height);
    put32(out, 0);
    put32(out, offBits);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(page.width));
    put32(out, static_cast<uint32_t>(-page.height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(page.bits));
    put32(out, 0);
    put32(out, stride * page.height);
    put32(out, static_cast<uint32_t>(ppm));
    put32(out, static_cast<uint32_t>(ppm));
    put32(out, static_cast<uint32_t>(entries));
    put32(out, 0);
    for (int i = 0; i < entries; ++i) {
        char v = static_cast<char>(i * 255 / (entries - 1));
        out += std::string{v, v, v, '\0'};
    }
    for (int y = 0; y < page.height; ++y) {
        std::string row(stride, '\0');
        for (int x = 0; x < page.width; ++x) {
            uint8_t rgb[3];
            Pixel(page, x, y, rgb);
            if (page.bits == 1) {
                if (rgb[0]) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            } else if (page.bits == 8) {
                row[x] = static_cast<char>(rgb[0]);
            } else {
                row[x * 3] = static_cast<char>(rgb[2]);
                row[x * 3 + 1] = static_cast<char>(rgb[1]);
                row[x * 3 + 2] = static_cast<char>(rgb[0]);
            }
        }
        out += row;
    }
    return out;
}

IStream* StreamOf(const std::string& bytes) {
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return nullptr;
    ULONG written = 0;
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    return stream;
}

Raster ReadPnm(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string magic;
    int width = 0, height = 0, maxval = 1;
    in >> magic >> width >> height;
    if (magic != "P4") in >> maxval;
    in.get();
    Raster r;
    if ((magic != "P4" && magic != "P5" && magic != "P6") || width <= 0 || height <= 0 || maxval != (magic == "P4" ? 1 : 255))
        return r;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    r.width = width;
    r.height = height;
    r.rgb.resize(static_cast<size_t>(width) * height * 3);
    size_t rowBytes = magic == "P4" ? (width + 7) / 8 : magic == "P5" ? width : static_cast<size_t>(width) * 3;
    if (data.size() < rowBytes * height) return Raster{};
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint8_t*>(data.data()) + rowBytes * y;
        for (int x = 0; x < width; ++x) {
            uint8_t* o = &r.rgb[(static_cast<size_t>(y) * width + x) * 3];
            if (magic == "P4") {
                o[0] = o[1] = o[2] = ((row[x / 8] >> (7 - x % 8)) & 1) ? 0 : 255;  // 1 is black in PBM
            } else if (magic == "P5") {
                o[0] = o[1] = o[2] = row[x];
            } else {
                o[0] = row[x * 3], o[1] = row[x * 3 + 1], o[2] = row[x * 3 + 2];
            }
        }
    }
    return r;
}

Raster Centres(const Raster& raster, int factor) {
    Raster r;
    r.width = raster.width / factor;
    r.height = raster.height / factor;
    r.rgb.resize(static_cast<size_t>(r.width) * r.height * 3);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            for (int c = 0; c < 3; ++c)
                r.rgb[(static_cast<size_t>(y) * r.width + x) * 3 + c] =
                    raster.rgb[(static_cast<size_t>(y * factor + factor / 2) * raster.width + x * factor + factor / 2) * 3 + c];
    return r;
}

Difference Compare(const Raster& raster, const Page& page) {
    Difference d;
    if (raster.width != page.width || raster.height != page.height) return d;
    double sum = 0;
    d.largest = 0;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            uint8_t want[3];
            Pixel(page, x, y, want);
            const uint8_t* got = &raster.rgb[(static_cast<size_t>(y) * page.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                int diff = std::abs(int(got[c]) - int(want[c]));
                sum += diff;
                d.largest = std::max(d.largest, diff);
            }
        }
    d.mean = sum / (3.0 * page.width * page.height);
    return d;
}

Run Shell(const std::string& command) {
    Run run;
    FILE* pipe = ::popen(("{ " + command + "; } 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::string ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Gdiplus::Gdiplus() {
    GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);
}
Gdiplus::~Gdiplus() { GdiplusShutdown(token); }

}  // namespace pages
