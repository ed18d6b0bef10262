// Speed of one whole sheet: screen, JBIG encode and stream write, the way EncodeAndSendPage does it
// (start-page chunk, a fresh zeroed raster from the process heap, HalftonePage, WritePageImage,
// WritePageEnd) into a real print job of a printer in a throw-away machine.
//
// Each case (paper, dpi, content) runs, in every iteration and on the same screened raster:
//   sheet   the whole sheet, as above (the benchmark's own time);
//   jbig    JBIG-KIT alone on the screened raster, same options as the driver (order 3, options
//           0x5C, L0 128, mx 0, my 0, one layer), its output appended to a block that is big enough;
//   memcpy  one memcpy of the 8-bit page;
//   screen  HalftonePage alone into a raster that is already touched;
//   enc     the driver's JbigEncodeImage alone (encoder plus its output handling);
//   write   WriteBidChunks of the encoded bytes alone.
// Counters: ms for each of these (averages per sheet), x_jbig = sheet / jbig (meant to stay within
// 1.15) and scr_x_memcpy = screen / memcpy (meant to stay within 3), and the encoded size in KiB.
// A summary table of the same figures is printed after the run.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/control.h"
#include "raster.h"
#include "stream.h"

#include "jbig_alone.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

struct Paper {
    const char* name;
    LONG w;
    LONG h;
};
constexpr Paper kPapers[] = {{"A4", 4736, 6784}, {"Letter", 4864, 6368}};

enum class Content { Text, Photo, Blank, Noise };
constexpr std::pair<Content, const char*> kContents[] = {
    {Content::Text, "text"}, {Content::Photo, "photo"}, {Content::Blank, "blank"}, {Content::Noise, "noise"}};

using Bytes = std::vector<BYTE>;  // every byte written when made: no first-touch fault in a timing

// Lines of glyph-like shapes: black stems, bars and diagonals with a grey (anti-aliased) edge,
// between margins, about a tenth of the page inked.
void drawText(Bytes& p, LONG w, LONG h) {
    std::mt19937 rng(4711);
    const LONG lineHeight = h / 64;
    const LONG glyphW = lineHeight * 3 / 5;
    const LONG stroke = std::max<LONG>(3, lineHeight / 13);
    std::uniform_int_distribution<int> shapeOf(0, 15);
    auto ink = [&](LONG x, LONG y, BYTE v) {
        BYTE& b = p[static_cast<size_t>(y) * w + x];
        b = std::min(b, v);
    };
    for (LONG top = h / 14; top + lineHeight < h - h / 14; top += lineHeight) {
        for (LONG left = w / 10; left + glyphW < w - w / 10; left += glyphW) {
            const int shape = shapeOf(rng);
            if (shape < 3) continue;  // spaces
            const LONG x0 = left + glyphW / 8, x1 = left + glyphW * 7 / 8;
            const LONG y0 = top + lineHeight / 6, y1 = top + lineHeight * 3 / 4;
            for (LONG y = y0; y < y1; ++y) {
                for (LONG x = x0; x < x1; ++x) {
                    const LONG dx = x - x0, dy = y - y0;
                    const LONG gw = x1 - x0, gh = y1 - y0;
                    bool on = false;
                    if (shape & 1) on |= dx < stroke;                             // left stem
                    if (shape & 2) on |= dy < stroke || (gh - dy) <= stroke;      // top and bottom bars
                    if (shape & 4) on |= std::abs(dx * gh - dy * gw) < stroke * gh;  // diagonal
                    if (shape & 8) on |= (gw - dx) <= stroke;                     // right stem
                    if (on) {
                        ink(x, y, 0);
                        if (x + 1 < x1) ink(x + 1, y, 160);
                    }
                }
            }
        }
    }
}

Bytes makePage(const Paper& s, Content c) {
    const size_t n = static_cast<size_t>(s.w) * static_cast<size_t>(s.h);
    Bytes p(n, 255);
    std::mt19937 rng(12345);
    switch (c) {
        case Content::Blank:
            break;
        case Content::Noise:
            for (auto& b : p) b = static_cast<BYTE>(rng());
            break;
        case Content::Photo: {
            std::uniform_int_distribution<int> noise(-12, 12);
            for (LONG y = 0; y < s.h; ++y) {
                for (LONG x = 0; x < s.w; ++x) {
                    const double v = 128.0 + 90.0 * std::sin(x / 523.0) * std::cos(y / 697.0) +
                                     25.0 * std::sin((x + 2 * y) / 211.0);
                    p[static_cast<size_t>(y) * s.w + x] =
                        static_cast<BYTE>(std::clamp(static_cast<int>(v) + noise(rng), 0, 255));
                }
            }
            break;
        }
        case Content::Text:
            drawText(p, s.w, s.h);
            break;
    }
    return p;
}

// Only the page of the running case is kept (the cases run paper by paper, content by content).
const Bytes& pageFor(const Paper& s, Content c) {
    static std::string key;
    static Bytes page;
    const std::string want = std::string(s.name) + "/" + std::to_string(static_cast<int>(c));
    if (key != want) {
        page = Bytes();
        page = makePage(s, c);
        key = want;
    }
    return page;
}

double inkShare(const Bytes& p) {
    size_t dark = 0;
    for (BYTE b : p) dark += b < 128;
    return static_cast<double>(dark) / static_cast<double>(p.size());
}

// ---- The printer job --------------------------------------------------------------------------------
// A printer in a fresh machine under a temporary folder; the job is ended, its files deleted and a
// new one started whenever it has taken kJobBytesLimit bytes, outside the timed parts.
constexpr uint64_t kJobBytesLimit = uint64_t(256) << 20;

class BenchPrinter {
public:
    BenchPrinter() {
        char pattern[] = "/tmp/sheet_bench.XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        root_ = pattern;
        platform::useMachineRoot(root_);
        platform::PrinterSetup setup;
        setup.name = u"Bench Printer";
        setup.driverName = u"Rastrel";
        platform::installPrinter(setup);
        std::u16string name = setup.name;
        if (!OpenPrinterW(name.data(), &printer_, nullptr)) std::abort();
        startJob();
    }
    ~BenchPrinter() {
        endJob();
        ClosePrinter(printer_);
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    BenchPrinter(const BenchPrinter&) = delete;
    BenchPrinter& operator=(const BenchPrinter&) = delete;

    StreamSink sink() {
        StreamSink s{};
        s.printer = printer_;
        s.spooling = 0;
        s.direct = 0;
        s.pageTable = pageTable_;
        s.headerSent = &headerSent_;
        return s;
    }
    void account(uint64_t bytes) { written_ += bytes; }
    void rotateIfFull() {
        if (written_ < kJobBytesLimit) return;
        endJob();
        startJob();
    }

private:
    void startJob() {
        std::u16string doc = u"sheet bench";
        std::u16string type = u"RAW";
        DOC_INFO_1W info{doc.data(), nullptr, type.data()};
        job_ = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&info));
        if (job_ == 0) std::abort();
        StreamSink s = sink();
        if (!WriteJobHeader(&s)) std::abort();
        written_ = 0;
    }
    void endJob() {
        if (job_ == 0) return;
        StreamSink s = sink();
        WriteJobEnd(&s);
        EndDocPrinter(printer_);
        std::error_code ec;
        const fs::path jobs = platform::machineRoot() / "spooler" / "jobs";
        fs::remove(jobs / (std::to_string(job_) + ".bin"), ec);
        fs::remove(jobs / (std::to_string(job_) + ".ini"), ec);
        job_ = 0;
    }

    fs::path root_;
    HANDLE printer_ = nullptr;
    DWORD job_ = 0;
    uint64_t written_ = 0;
    DWORD pageTable_[4] = {};
    BYTE headerSent_ = 0;
};

BenchPrinter& printer() {
    static BenchPrinter p;
    return p;
}

// ---- The cases ----------------------------------------------------------------------------------------
struct Figures {
    std::string name;
    double ink = 0;
    double sheet = 0, jbig = 0, memcpyMs = 0, screen = 0, enc = 0, write = 0;
    double encodedKiB = 0;
};

std::vector<Figures>& results() {
    static std::vector<Figures> all;
    return all;
}

// The driver's sheet, as EncodeAndSendPage sends it when nothing is spooled, shrunk or turned.
BOOL sendSheet(StreamSink* sink, const BYTE* page, LONG w, LONG h, LONG dpi, BYTE* keep) {
    const DWORD bits = dpi == 1200 ? 2 : 1;
    PageHeader header{};
    header.copies = 1;
    header.paper = 9;
    header.rasterWidth = static_cast<DWORD>(w);
    header.rasterHeight = static_cast<DWORD>(h);
    header.bitsPerPixel = bits;
    header.mediaSource = 7;
    header.density = 3;
    if (!WritePageHeader(sink, &header)) return FALSE;
    const SIZE_T bytes = SIZE_T(w) * bits / 8 * SIZE_T(h);
    auto* out = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
    if (!out) return FALSE;
    HalftonePage(page, w, h, out, dpi);
    PageImage image{static_cast<DWORD>(w) * bits, static_cast<DWORD>(h), out, sink};
    BOOL ok = WritePageImage(&image) && WritePageEnd(sink);
    if (keep) std::memcpy(keep, out, bytes);
    HeapFree(GetProcessHeap(), 0, out);
    return ok;
}

void benchSheet(benchmark::State& state, Paper s, Content c, LONG dpi, std::string name) {
    BenchPrinter& job = printer();
    const Bytes& page = pageFor(s, c);
    const DWORD bits = dpi == 1200 ? 2 : 1;
    const DWORD widthBits = static_cast<DWORD>(s.w) * bits;
    const size_t rasterBytes = size_t(widthBits) / 8 * size_t(s.h);

    // The screened raster every measurement works on, and a check that the sheet screens the same.
    Bytes raster(rasterBytes, 0);
    HalftonePage(page.data(), s.w, s.h, raster.data(), dpi);
    Bytes scratch(rasterBytes, 0);
    Bytes copy(page.size(), 0);
    Bytes collectedBlock(rasterBytes * 2 + (size_t(1) << 20), 0);
    bench::JbigBlock collected{collectedBlock.data(), 0, collectedBlock.size()};
    {
        StreamSink sink = job.sink();
        Bytes sheetRaster(rasterBytes, 0);
        if (!sendSheet(&sink, page.data(), s.w, s.h, dpi, sheetRaster.data()) || sheetRaster != raster) {
            state.SkipWithError("the sheet did not go out as screened");
            return;
        }
    }

    Figures f;
    f.name = name;
    f.ink = inkShare(page);
    size_t encoded = 0;
    for (auto _ : state) {
        job.rotateIfFull();
        StreamSink sink = job.sink();

        auto t0 = Clock::now();
        const BOOL ok = sendSheet(&sink, page.data(), s.w, s.h, dpi, nullptr);
        const double sheet = msSince(t0);
        if (!ok) {
            state.SkipWithError("sheet failed");
            break;
        }
        state.SetIterationTime(sheet / 1000.0);
        f.sheet += sheet;

        t0 = Clock::now();
        encoded = bench::EncodeWithJbigKit(widthBits, static_cast<DWORD>(s.h), raster.data(), &collected);
        benchmark::ClobberMemory();
        f.jbig += msSince(t0);

        t0 = Clock::now();
        std::memcpy(copy.data(), page.data(), page.size());
        benchmark::ClobberMemory();
        f.memcpyMs += msSince(t0);

        t0 = Clock::now();
        HalftonePage(page.data(), s.w, s.h, scratch.data(), dpi);
        benchmark::ClobberMemory();
        f.screen += msSince(t0);

        JbigOutput driverOut{};
        PageImage image{widthBits, static_cast<DWORD>(s.h), raster.data(), &sink};
        t0 = Clock::now();
        const SIZE_T length = JbigEncodeImage(&image, &driverOut);
        f.enc += msSince(t0);

        t0 = Clock::now();
        const BOOL wrote = WriteBidChunks(&sink, driverOut.data, length);
        f.write += msSince(t0);
        if (driverOut.data) HeapFree(GetProcessHeap(), 0, driverOut.data);
        if (!wrote || length + kBihSize != encoded) {
            state.SkipWithError("the driver's encoding differs from JBIG-KIT's");
            break;
        }
        // Page header, BIH, BID chunks and end chunks, twice (the sheet and the write alone).
        job.account(2 * (uint64_t(encoded) + 4096 + 32 * (encoded / kBidDataSize + 1)));
    }
    const double n = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    f.sheet /= n;
    f.jbig /= n;
    f.memcpyMs /= n;
    f.screen /= n;
    f.enc /= n;
    f.write /= n;
    f.encodedKiB = static_cast<double>(encoded) / 1024.0;
    state.counters["sheet_ms"] = f.sheet;
    state.counters["jbig_ms"] = f.jbig;
    state.counters["x_jbig"] = f.sheet / f.jbig;
    state.counters["memcpy_ms"] = f.memcpyMs;
    state.counters["screen_ms"] = f.screen;
    state.counters["scr_x_memcpy"] = f.screen / f.memcpyMs;
    state.counters["enc_ms"] = f.enc;
    state.counters["write_ms"] = f.write;
    state.counters["KiB"] = f.encodedKiB;
    // The last run of a case (the repetitions, if any) stands in the table.
    auto& all = results();
    auto it = std::find_if(all.begin(), all.end(), [&](const Figures& g) { return g.name == name; });
    if (it != all.end()) *it = f; else all.push_back(f);
}

void printTable() {
    std::printf("\n%-22s %5s %9s %9s %7s %9s %9s %7s %9s %9s %9s\n", "sheet", "ink%", "sheet ms", "jbig ms",
                "x_jbig", "memcpy ms", "screen ms", "scr/mc", "enc ms", "write ms", "KiB");
    for (const Figures& f : results()) {
        const double xj = f.sheet / f.jbig, xm = f.screen / f.memcpyMs;
        std::printf("%-22s %5.1f %9.2f %9.2f %6.2f%s %9.2f %9.2f %6.2f%s %9.2f %9.2f %9.0f\n", f.name.c_str(),
                    100.0 * f.ink, f.sheet, f.jbig, xj, xj <= 1.15 ? " " : "!", f.memcpyMs, f.screen, xm,
                    xm <= 3.0 ? " " : "!", f.enc, f.write, f.encodedKiB);
    }
    std::printf("targets: x_jbig (sheet / JBIG-KIT alone) <= 1.15, scr/mc (screen / memcpy) <= 3; '!' misses.\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (const Paper& s : kPapers) {
        for (const auto& [content, cname] : kContents) {
            for (LONG dpi : {600, 1200}) {
                const std::string name = std::string(s.name) + "_" + std::to_string(dpi) + "/" + cname;
                benchmark::RegisterBenchmark(("sheet/" + name).c_str(), benchSheet, s, content, dpi, name)
                    ->Unit(benchmark::kMillisecond)
                    ->UseManualTime();
            }
        }
    }
    printer();
    benchmark::RunSpecifiedBenchmarks();
    printTable();
    benchmark::Shutdown();
    return 0;
}
