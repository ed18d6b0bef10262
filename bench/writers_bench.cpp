// Speed of saving a scanned page as JPEG, TIFF and PDF against libjpeg-turbo's and libtiff's own
// encoding of the same pixels, measured in the same run.
//
// Pages: an A4 colour page at 300 dpi (2480 x 3508, 24 bits) and an A4 grey page at 600 dpi
// (4960 x 7016, 8 bits), each a complete top-down bitmap in a memory stream, as the scan thread
// leaves it. Every benchmark reports
//   ms      milliseconds per page,
//   x_own   that time over the time of the library's own encoding of the same pixels into a file:
//           JPEG at quality 75 (GDI+'s default) for the JPEG save, LZW TIFF written line by line for
//           the TIFF save, JPEG at the PDF writer's quality (65 at 300 dpi, 30 at 600 dpi) for the PDF.
// The grey page's JPEG has three components (as GDI+ writes JPEGs); its baseline is libjpeg-turbo
// encoding the same grey values as three components, and "jpeg_grey_own" shows the one-component
// encoding for comparison. The target is x_own within 1.2.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <tiffio.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "PictureWriter.h"
#include "platform/testing/machine.h"
#include "win/com.h"
#include "win/gdiplus.h"

namespace {

using Clock = std::chrono::steady_clock;

struct PageKind {
    const char* name;
    int width;
    int height;
    int bits;
    int dpi;
    int pdfQuality;
};
const PageKind kColour300{"a4_colour_300", 2480, 3508, 24, 300, 65};
const PageKind kGrey600{"a4_grey_600", 4960, 7016, 8, 600, 30};

// The machine the saves write to, and GDI+, for the whole run.
struct Setting {
    Setting() {
        GdiplusStartupInput input;
        GdiplusStartup(&token, &input, nullptr);
        folder = machine.host(u"C:\\");
    }
    platform::testing::Machine machine;
    ULONG_PTR token = 0;
    std::filesystem::path folder;
};
Setting& setting() {
    static Setting* s = new Setting;
    return *s;
}

// A scan-like page: paper with a little noise, lines of dark "text" marks and a photo block.
struct Page {
    std::vector<uint8_t> rows;  // top-down, stride-padded, blue-green-red for colour
    size_t stride = 0;
    std::string bitmap;         // the same as a bitmap file
    IStream* stream = nullptr;
};
const Page& page(const PageKind& kind) {
    static std::map<std::string, std::unique_ptr<Page>> pages;
    auto& slot = pages[kind.name];
    if (slot) return *slot;
    slot = std::make_unique<Page>();
    Page& p = *slot;
    const int bytes = kind.bits / 8;
    p.stride = ((static_cast<size_t>(kind.bits) * kind.width + 31) / 32) * 4;
    p.rows.assign(p.stride * kind.height, 0);
    std::minstd_rand noise(20240601u);
    for (int y = 0; y < kind.height; ++y) {
        uint8_t* row = p.rows.data() + p.stride * y;
        bool textLine = (y / (kind.dpi / 6)) % 2 == 0 && y > kind.height / 10 && y < kind.height / 2;
        for (int x = 0; x < kind.width; ++x) {
            int v = 238 + static_cast<int>(noise() % 7);
            if (textLine && (x / (kind.dpi / 30)) % 3 != 0 && (y % (kind.dpi / 6)) < kind.dpi / 10) v = 30;
            bool photo = y > kind.height * 6 / 10 && y < kind.height * 9 / 10 && x > kind.width / 8 &&
                         x < kind.width * 7 / 8;
            for (int c = 0; c < bytes; ++c) {
                int w = photo ? (x * (c + 1) / 7 + y / 5) % 256 : v;
                row[x * bytes + c] = static_cast<uint8_t>(w);
            }
        }
    }
    // The bitmap file: header as the scanner binding builds it, then the rows.
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) p.bitmap += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const int entries = kind.bits < 24 ? 1 << kind.bits : 0;
    const uint32_t offBits = 54 + 4 * entries;
    p.bitmap = "BM";
    put(offBits + static_cast<uint32_t>(p.rows.size()), 4);
    put(0, 4);
    put(offBits, 4);
    put(40, 4);
    put(static_cast<uint32_t>(kind.width), 4);
    put(static_cast<uint32_t>(-kind.height), 4);
    put(1, 2);
    put(static_cast<uint32_t>(kind.bits), 2);
    put(0, 4);
    put(static_cast<uint32_t>(p.rows.size()), 4);
    put(static_cast<uint32_t>(kind.dpi * 39.37), 4);
    put(static_cast<uint32_t>(kind.dpi * 39.37), 4);
    put(static_cast<uint32_t>(entries), 4);
    put(0, 4);
    for (int i = 0; i < entries; ++i) put(static_cast<uint32_t>(i | i << 8 | i << 16), 4);
    p.bitmap.append(reinterpret_cast<const char*>(p.rows.data()), p.rows.size());
    CreateStreamOnHGlobal(nullptr, TRUE, &p.stream);
    ULONG written = 0;
    p.stream->Write(p.bitmap.data(), static_cast<ULONG>(p.bitmap.size()), &written);
    return p;
}

// ---- The libraries' own encoding -----------------------------------------------------------------
void ownJpeg(const PageKind& kind, const Page& p, int quality, bool oneComponent, const std::filesystem::path& to) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    FILE* out = std::fopen(to.c_str(), "wb");
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = static_cast<JDIMENSION>(kind.width);
    cinfo.image_height = static_cast<JDIMENSION>(kind.height);
    const bool grey = kind.bits == 8;
    cinfo.input_components = grey && oneComponent ? 1 : 3;
    cinfo.in_color_space = grey ? (oneComponent ? JCS_GRAYSCALE : JCS_RGB) : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> rgb(static_cast<size_t>(kind.width) * 3);
    for (int y = 0; y < kind.height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(p.rows.data() + p.stride * y);
        if (grey && !oneComponent) {
            for (int x = 0; x < kind.width; ++x) rgb[x * 3] = rgb[x * 3 + 1] = rgb[x * 3 + 2] = row[x];
            row = rgb.data();
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

void ownTiff(const PageKind& kind, const Page& p, const std::filesystem::path& to) {
    TIFF* tif = TIFFOpen(to.c_str(), "w");
    const int samples = kind.bits == 24 ? 3 : 1;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kind.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kind.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, static_cast<uint32_t>(-1)));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::vector<uint8_t> row(p.stride);
    for (int y = 0; y < kind.height; ++y) {
        std::memcpy(row.data(), p.rows.data() + p.stride * y, p.stride);
        if (samples == 3)
            for (int x = 0; x < kind.width; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
        TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(tif);
}

// ---- Timing ----------------------------------------------------------------------------------------
std::map<std::string, double>& ownTimes() {
    static std::map<std::string, double> times;
    return times;
}

template <class F>
double timed(benchmark::State& state, F body) {
    double total = 0;
    int64_t pages = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        body();
        total += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        ++pages;
    }
    const double ms = total / static_cast<double>(pages);
    state.counters["ms"] = ms;
    return ms;
}

enum class Kind { jpeg, tiff, pdf };
const char* nameOf(Kind k) { return k == Kind::jpeg ? "jpeg" : k == Kind::tiff ? "tiff" : "pdf"; }

void benchOwn(benchmark::State& state, const PageKind* kind, Kind format) {
    const Page& p = page(*kind);
    const std::filesystem::path to = setting().folder / (std::string("own.") + nameOf(format));
    double ms = timed(state, [&] {
        if (format == Kind::tiff)
            ownTiff(*kind, p, to);
        else
            ownJpeg(*kind, p, format == Kind::pdf ? kind->pdfQuality : 75, false, to);
    });
    ownTimes()[std::string(kind->name) + nameOf(format)] = ms;
}

void benchGreyOneComponent(benchmark::State& state) {
    const Page& p = page(kGrey600);
    timed(state, [&] { ownJpeg(kGrey600, p, 75, true, setting().folder / "own1.jpg"); });
}

void benchSave(benchmark::State& state, const PageKind* kind, Kind format) {
    const Page& p = page(*kind);
    const int type = format == Kind::jpeg ? SAVE_TYPE_JPG : format == Kind::tiff ? SAVE_TYPE_TIF : SAVE_TYPE_PDF;
    const std::u16string path = std::u16string(u"C:\\page.") + (format == Kind::jpeg ? u"jpg" : format == Kind::tiff ? u"tif" : u"pdf");
    double ms = timed(state, [&] {
        if (SavePageStream(p.stream, path.c_str(), type) != 0) state.SkipWithError("the save failed");
    });
    auto own = ownTimes().find(std::string(kind->name) + nameOf(format));
    if (own != ownTimes().end()) state.counters["x_own"] = ms / own->second;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    setting();
    for (const PageKind* kind : {&kColour300, &kGrey600}) {
        for (Kind format : {Kind::jpeg, Kind::tiff, Kind::pdf}) {
            const std::string suffix = std::string(nameOf(format)) + "/" + kind->name;
            benchmark::RegisterBenchmark(("own_" + suffix).c_str(), benchOwn, kind, format)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("save_" + suffix).c_str(), benchSave, kind, format)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::RegisterBenchmark("jpeg_grey_own_one_component/a4_grey_600", benchGreyOneComponent)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
