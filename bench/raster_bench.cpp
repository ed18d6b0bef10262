// Speed of the halftone screens and the page turns against a plain memcpy of the same 8-bit page.
//
// Every benchmark reports
//   ms        milliseconds per page,
//   x_memcpy  that time over the time of one memcpy of the same page, measured in this run,
//   faults    minor page faults per page (the fresh temporary copy of a turn is first touched
//             page by page; blocks of 32 MiB and more come fresh from the system every time).
// The screens are meant to stay within 3x memcpy on every page kind.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "raster.h"

namespace {

using Clock = std::chrono::steady_clock;

long minorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

struct PageSize {
    const char* name;
    LONG w;
    LONG h;
};

constexpr PageSize kSizes[] = {
    {"A4_600", 4736, 6784},
    {"Letter_600", 5120, 6592},
    {"A4_1200", 9472, 13568},
};

enum class Content { Text, Photo, Blank, Noise };
constexpr std::pair<Content, const char*> kContents[] = {
    {Content::Text, "text"}, {Content::Photo, "photo"}, {Content::Blank, "blank"},
    {Content::Noise, "noise"}};

// An 8-bit page; every byte is written when it is made, so no page fault lands inside a timing.
using Page = std::vector<BYTE>;

Page makePage(const PageSize& s, Content c) {
    const size_t n = static_cast<size_t>(s.w) * static_cast<size_t>(s.h);
    Page p(n, 255);
    std::mt19937 rng(12345);
    switch (c) {
        case Content::Blank:
            break;
        case Content::Noise:
            for (auto& b : p) {
                b = static_cast<BYTE>(rng());
            }
            break;
        case Content::Photo: {
            std::uniform_int_distribution<int> noise(-24, 24);
            for (LONG y = 0; y < s.h; ++y) {
                for (LONG x = 0; x < s.w; ++x) {
                    const double v = 128.0 + 96.0 * std::sin(x / 311.0) * std::cos(y / 419.0) +
                                     20.0 * std::sin((x + y) / 57.0);
                    p[static_cast<size_t>(y) * s.w + x] =
                        static_cast<BYTE>(std::clamp(static_cast<int>(v) + noise(rng), 0, 255));
                }
            }
            break;
        }
        case Content::Text: {
            // Lines of glyph boxes with black strokes and grey (anti-aliased) edges, ~10% ink.
            const LONG lineHeight = s.h / 110;
            const LONG glyphW = lineHeight / 2;
            std::uniform_int_distribution<int> stroke(0, 7);
            for (LONG top = lineHeight * 4; top + lineHeight < s.h - lineHeight * 4; top += lineHeight) {
                for (LONG left = s.w / 12; left + glyphW < s.w - s.w / 12; left += glyphW) {
                    const int shape = stroke(rng);
                    if (shape == 0) {
                        continue;  // a space
                    }
                    const LONG sw = std::max<LONG>(2, glyphW / 8);
                    for (LONG y = top + lineHeight / 5; y < top + lineHeight * 4 / 5; ++y) {
                        BYTE* row = p.data() + static_cast<size_t>(y) * s.w;
                        const LONG gx = left + glyphW / 6;
                        const bool bar = (shape & 1) && (y - top) % (lineHeight / 3) < sw;
                        for (LONG x = gx; x < left + glyphW * 5 / 6; ++x) {
                            const bool stem = (shape & 2) ? x - gx < sw : (x - gx) % (glyphW / 2) < sw;
                            if (stem || bar) {
                                row[x] = 0;
                            } else if (x - gx == sw) {
                                row[x] = std::min<BYTE>(row[x], 128);
                            }
                        }
                    }
                }
            }
            break;
        }
    }
    return p;
}

const Page& page(const PageSize& s, Content c) {
    static std::map<std::pair<std::string, int>, std::unique_ptr<Page>> cache;
    auto& slot = cache[{s.name, static_cast<int>(c)}];
    if (!slot) {
        slot = std::make_unique<Page>(makePage(s, c));
    }
    return *slot;
}

std::map<std::string, double>& memcpyTimes() {
    static std::map<std::string, double> times;
    return times;
}

// One memcpy of the 8-bit page, in ms: what the memcpy benchmark of this size measured in this
// run, or (when it was filtered out) the median of a few runs with both buffers already touched.
double memcpyMs(const PageSize& s) {
    auto& cache = memcpyTimes();
    auto it = cache.find(s.name);
    if (it != cache.end()) {
        return it->second;
    }
    const Page& src = page(s, Content::Photo);
    Page dst(src.size(), 0);
    std::vector<double> runs;
    for (int i = 0; i < 9; ++i) {
        const auto t0 = Clock::now();
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
        runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(runs.begin(), runs.end());
    return cache[s.name] = runs[runs.size() / 2];
}

// Runs body once per iteration and sets the ms and x_memcpy counters.
template <typename Body>
void timed(benchmark::State& state, const PageSize& s, Body&& body) {
    const double base = memcpyMs(s);
    const long faults0 = minorFaults();
    const auto t0 = Clock::now();
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
    }
    const double pages = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / pages;
    state.counters["faults"] = static_cast<double>(minorFaults() - faults0) / pages;
    state.counters["ms"] = ms;
    state.counters["x_memcpy"] = ms / base;
    state.counters["memcpy_ms"] = base;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s.w) * s.h);
}

void benchMemcpy(benchmark::State& state, PageSize s) {
    const Page& src = page(s, Content::Photo);
    Page dst(src.size(), 0);
    timed(state, s, [&] { std::memcpy(dst.data(), src.data(), src.size()); });
    memcpyTimes()[s.name] = state.counters["ms"];
}

void benchScreen(benchmark::State& state, PageSize s, Content c, LONG dpi) {
    const Page& src = page(s, c);
    Page out(src.size() / (dpi == 1200 ? 4 : 8), 0);
    timed(state, s, [&] {
        benchmark::DoNotOptimize(HalftonePage(src.data(), s.w, s.h, out.data(), dpi));
    });
}

enum class Turn { Clockwise, CounterClockwise, Half, Mirror };

void benchTurn(benchmark::State& state, PageSize s, Turn turn) {
    Page img = page(s, Content::Photo);
    bool swapped = false;  // a quarter turn leaves the page h wide and w high
    timed(state, s, [&] {
        const LONG w = swapped ? s.h : s.w;
        const LONG h = swapped ? s.w : s.h;
        BOOL ok = FALSE;
        switch (turn) {
            case Turn::Clockwise:
                ok = Rotate90(img.data(), w, h, TRUE);
                swapped = !swapped;
                break;
            case Turn::CounterClockwise:
                ok = Rotate90(img.data(), w, h, FALSE);
                swapped = !swapped;
                break;
            case Turn::Half:
                ok = Rotate180(img.data(), w, h);
                break;
            case Turn::Mirror:
                ok = MirrorRows(img.data(), w, h);
                break;
        }
        if (!ok) {
            state.SkipWithError("operation failed");
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const PageSize& s : kSizes) {
        const std::string size = s.name;
        benchmark::RegisterBenchmark(("memcpy/" + size).c_str(), benchMemcpy, s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        for (const auto& [content, cname] : kContents) {
            for (LONG dpi : {600, 1200}) {
                const std::string name = std::string(dpi == 1200 ? "screen2bit/" : "screen1bit/") +
                                         size + "/" + cname;
                benchmark::RegisterBenchmark(name.c_str(), benchScreen, s, content, dpi)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
        const std::pair<Turn, const char*> turns[] = {{Turn::Clockwise, "Rotate90cw"},
                                                      {Turn::CounterClockwise, "Rotate90ccw"},
                                                      {Turn::Half, "Rotate180"},
                                                      {Turn::Mirror, "MirrorRows"}};
        for (const auto& [turn, tname] : turns) {
            benchmark::RegisterBenchmark((std::string(tname) + "/" + size).c_str(), benchTurn, s, turn)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
