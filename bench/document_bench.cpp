// Whole documents through rastrel-print: speed and peak memory of the complete print path (the
// harness's drawing and text, the engine's front, the driver's page buffer, screen, JBIG encoding and
// job stream), against JBIG-KIT's encoding alone of the very sheets the run produced.
//
// Every case prints a 10-page document with the built bin/rastrel-print beside this program, as a
// child process (-q -o JOB --machine DIR, a fresh machine folder for every run), a fixed 3 times:
//   text   bench/documents/text.page, ten times over (dense text in five faces and sizes, rules;
//          {page} makes every page differ)
//   photo  bench/documents/photo.page, ten times over (the sample photograph stretched over most of
//          the page, a heading and a caption)
// at 600 and 1200 dpi, the text document 4-up and 9-up at 600 dpi, and with a text watermark; and
// for what text costs in memory, at 600 dpi:
//   long_line   bench/documents/long-line.page: one line of 6,000 capitals at 300 points, nearly all
//               of it past the paper's edge (its peak is to stay that of a page of a few letters)
//   small_text  bench/documents/small-text.page: a page of 5-point text, every line different
//
// Figures of a case:
//   wall      median wall time of the whole child run (start to exit, posix_spawn to wait4); the
//             Google Benchmark time is this wall time (manual timing, one run an iteration)
//   pages/s   10 / wall
//   jbig      JBIG-KIT alone on the run's sheets: the job stream of the last run is read back with
//             rastrel_dump::parse (which decodes every sheet) and each sheet's bits are encoded again
//             with the driver's options (one layer, order 3, options 0x5C, L0 128, mx 0, my 0); only
//             the encoding is timed, the median of 3 rounds over all sheets
//   nonjbig   (wall - jbig) / wall
//   profile   one more run under `perf record` (when perf is there and may sample), its samples
//             split by shared object: JBIG-KIT (libjbig), the driver (the Rastrel module), the engine
//             (libplatform), the harness (rastrel-print with FreeType, libpng, zlib, Poppler), the C
//             and C++ runtime (libc, libm, libstdc++, the loader), the kernel, anything else. By
//             object, not by caller: the driver's page clears count as runtime (memset), its page
//             faults and temp-file writes as kernel, and FreeType as the harness's even where the
//             engine's fonts call it; `perf record --call-graph dwarf` on one run splits those
//   start     the median wall time of 3 runs of the device baseline below (the fixed cost of a run)
//   peak      the child's ru_maxrss from wait4 (largest of the 3 runs), in MiB and in page buffers
//             (4736 x 6784 bytes, the A4 8-bit page buffer), less two baselines:
//               prog  rastrel-print --help: the program and its libraries, no machine, no device
//               dev   a one-page run of bench/documents/blank.page with the case's settings: the
//                     machine, the printer, the device and its surface enabled, one empty sheet sent
//             (children are started by a small launcher forked at start: see startLauncher)
//
// Targets (printed, never asserted): the driver's own share of the profile (beside JBIG-KIT) under
// 15% of the samples, and peak - prog under 3 page buffers.
//
// Peers: the same inputs through the plain Linux print chains a user would pick, whole processes,
// in one run and alternating with rastrel-print (kRuns each, medians), each at 600 dpi and ending
// in JBIG with `pbmtojbg -q -s 128 -m 0 -o 3 -p 92` (the driver's encoder options):
//   one core  Ghostscript to one-bit pages (pbmraw, one rendering thread) + pbmtojbg per page; for
//             the PGM netpbm's pgmtopbm -dither8 | pbmtojbg
//   x4        pdftoppm -mono, four processes at once, each a quarter of the pages, + pbmtojbg
// on inputs made at start (PDFs with Ghostscript's pdfwrite from PostScript written here):
//   text_pdf     a 10-page Letter text document
//   text100_pdf  the same, 100 pages (the cost of a page)
//   mixed_pdf    one A4 page: a heading, a black square, a grey bar, a photo-like picture, text
//   photo_pdf    4 A4 pages, each a 1600 x 1200 colour photograph and a caption
//   grey_pgm     one A4 600 dpi grey PGM (P5, 4960 x 7016)
// Figures: median wall time of each, the cores each used (CPU time over wall time), the ratio
// rastrel-print / peer, and the peak memory (ru_maxrss, for a chain its largest process). Targets
// (printed, never asserted): the ratio to the one-core peer at most 1.0 (0.9 for the PGM), and on the
// text PDF a peak of at most 120 MiB. Peers are left out (with a note) when Ghostscript, poppler-utils
// or the netpbm and JBIG-KIT tools are missing (tools/setup/deps.sh installs them).
//
//   build-docbench/bin/document_bench [--no-perf] [--no-peers] [--keep] [benchmark flags]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "rastrel_dump/stream.h"

#include "jbig_alone.h"
#include "self_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPages = 10;
constexpr int kRuns = 3;
constexpr int kJbigRounds = 3;
constexpr double kPageBuffer = 4736.0 * 6784.0;  // bytes of the A4 8-bit page buffer at 600 dpi
constexpr double kMiB = 1024.0 * 1024.0;

bool g_perf = true;
bool g_keep = false;

// ---- Paths -------------------------------------------------------------------------------------------
using bench::selfDir;

fs::path printBinary() { return selfDir() / "rastrel-print"; }

fs::path documentsDir() {
    if (const char* dir = std::getenv("DOCUMENT_BENCH_DOCUMENTS")) return dir;
    return fs::path(__FILE__).parent_path() / "documents";
}

fs::path& scratchRoot() {
    static fs::path root;
    return root;
}

// ---- Child processes ---------------------------------------------------------------------------------
struct Run {
    bool ok = false;
    double wallMs = 0;
    double cpuMs = 0;  // user and system time of the child and what it waited for
    long maxRssKiB = 0;
};

// Runs argv[0] with its output (both streams) going to log; waits with wait4 for its usage.
Run spawnAndWait(const std::vector<std::string>& argv, const std::string& log) {
    Run run;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const auto t0 = Clock::now();
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    run.maxRssKiB = usage.ru_maxrss;
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    run.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// A child's ru_maxrss is the larger of its own peak and the resident size of the process it was
// forked from (Linux keeps the high-water mark across exec). This program grows to hold sheets and
// job streams, so the children are started by a launcher forked from it at start, while it is
// small: requests (log file, then the arguments, each ended by a NUL) go down a pipe, a Run comes
// back.
struct Launcher {
    int requests = -1;
    int replies = -1;
};

Launcher& launcher() {
    static Launcher l;
    return l;
}

bool readAll(int fd, void* data, size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

[[noreturn]] void launcherLoop(int in, int out) {
    for (;;) {
        uint32_t size = 0;
        if (!readAll(in, &size, sizeof size)) _exit(0);
        std::string request(size, '\0');
        if (!readAll(in, request.data(), size)) _exit(0);
        std::vector<std::string> words;
        for (size_t at = 0; at < request.size();) {
            const size_t end = request.find('\0', at);
            words.push_back(request.substr(at, end - at));
            at = end + 1;
        }
        Run run;
        if (words.size() >= 2) run = spawnAndWait({words.begin() + 1, words.end()}, words[0]);
        if (!writeAll(out, &run, sizeof run)) _exit(0);
    }
}

bool startLauncher() {
    int down[2], up[2];
    if (pipe(down) != 0 || pipe(up) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(down[1]);
        close(up[0]);
        launcherLoop(down[0], up[1]);
    }
    close(down[0]);
    close(up[1]);
    launcher().requests = down[1];
    launcher().replies = up[0];
    return true;
}

Run runChild(const std::vector<std::string>& argv, const fs::path& log) {
    std::string request = log.string();
    request.push_back('\0');
    for (const std::string& a : argv) {
        request += a;
        request.push_back('\0');
    }
    const auto size = static_cast<uint32_t>(request.size());
    Run run;
    if (!writeAll(launcher().requests, &size, sizeof size) ||
        !writeAll(launcher().requests, request.data(), request.size()) ||
        !readAll(launcher().replies, &run, sizeof run))
        return Run{};
    return run;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- The cases ---------------------------------------------------------------------------------------
struct Case {
    std::string name;
    std::string document;               // file under bench/documents/
    std::vector<std::string> settings;  // rastrel-print's print settings
};

std::vector<std::string> printArgs(const Case& c, const fs::path& machine, const fs::path& job, const fs::path& doc,
                                   int copies) {
    std::vector<std::string> args{printBinary().string(), "-q", "--machine", machine.string(), "-o", job.string()};
    args.insert(args.end(), c.settings.begin(), c.settings.end());
    for (int i = 0; i < copies; ++i) args.push_back(doc.string());
    return args;
}

// ---- JBIG-KIT alone on the sheets of a job stream -----------------------------------------------------
struct JbigFigures {
    bool ok = false;
    std::string why;
    int sheets = 0;
    double ms = 0;          // median over the rounds of the sum over the sheets
    bool sameSize = true;   // every sheet encoded to the size the driver sent (BIH + image data)
    size_t streamBytes = 0;
};

JbigFigures jbigAlone(const fs::path& jobFile) {
    JbigFigures f;
    const std::string text = readText(jobFile);
    std::vector<uint8_t> stream(text.begin(), text.end());
    f.streamBytes = stream.size();
    rastrel_dump::Options options;
    options.keep_images = true;
    rastrel_dump::Result result = rastrel_dump::parse(stream, options);
    if (!result.ok()) {
        f.why = result.error ? rastrel_dump::describe(*result.error) : "the stream was cut short";
        return f;
    }
    f.sheets = static_cast<int>(result.sheets.size());
    size_t largest = 0;
    for (const auto& s : result.sheets) largest = std::max(largest, s.bits.size());
    std::vector<unsigned char> block(largest * 2 + (size_t(1) << 20), 0);  // every byte touched before any timing
    bench::JbigBlock out{block.data(), 0, block.size()};
    std::vector<double> rounds;
    for (int round = 0; round < kJbigRounds; ++round) {
        double total = 0;
        for (auto& s : result.sheets) {
            const auto t0 = Clock::now();
            const size_t encoded = bench::EncodeWithJbigKit(s.width_bits(), s.height, s.bits.data(), &out);
            total += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            if (encoded != s.jbig_bytes + rastrel_dump::kBihSize) f.sameSize = false;
        }
        rounds.push_back(total);
    }
    std::sort(rounds.begin(), rounds.end());
    f.ms = rounds[rounds.size() / 2];
    f.ok = true;
    return f;
}

// ---- The profile ---------------------------------------------------------------------------------------
enum Part { kJbig, kDriver, kEngine, kHarness, kRuntime, kKernel, kOther, kParts };
constexpr const char* kPartNames[kParts] = {"jbig", "driver", "engine", "harness", "runtime", "kernel", "other"};

struct Profile {
    bool ok = false;
    double share[kParts] = {};  // percent of the samples
    double memOps = 0;          // percent in libc's memset, memcpy and memmove
    std::vector<std::pair<double, std::string>> top;  // the largest symbols, "dso: symbol"
};

Part partOf(const std::string& dso) {
    auto has = [&](const char* s) { return dso.find(s) != std::string::npos; };
    if (has("libjbig")) return kJbig;
    if (has("Rastrel")) return kDriver;
    if (has("libplatform")) return kEngine;
    if (has("rastrel-print") || has("libfreetype") || has("libpng") || has("libz.") || has("libpoppler") ||
        has("libbrotli") || has("libbz2"))
        return kHarness;
    if (has("libc.so") || has("libm.so") || has("libstdc++") || has("ld-linux") || has("libgcc")) return kRuntime;
    if (has("[kernel")) return kKernel;
    return kOther;
}

std::optional<fs::path> perfBinary() {
    for (const char* p : {"/usr/bin/perf", "/usr/local/bin/perf"})
        if (access(p, X_OK) == 0) return fs::path(p);
    return std::nullopt;
}

Profile profileRun(const std::vector<std::string>& printCommand, const fs::path& dir) {
    Profile p;
    const auto perf = perfBinary();
    if (!perf) return p;
    const fs::path data = dir / "perf.data";
    std::vector<std::string> record{perf->string(), "record", "-q", "-F", "2999", "-o", data.string(), "--"};
    record.insert(record.end(), printCommand.begin(), printCommand.end());
    if (!runChild(record, dir / "perf-record.log").ok) return p;
    const fs::path report = dir / "perf-report.txt";
    std::vector<std::string> show{perf->string(), "report", "-i", data.string(), "--stdio", "-q",
                                  "--sort", "dso,sym", "--percent-limit", "0"};
    if (!runChild(show, report).ok) return p;
    std::istringstream lines(readText(report));
    std::string line;
    double total = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string percent, dso, kind;
        if (!(words >> percent >> dso >> kind) || percent.empty() || percent.back() != '%') continue;
        std::string symbol;
        std::getline(words, symbol);
        symbol.erase(0, symbol.find_first_not_of(' '));
        while (!symbol.empty() && symbol.back() == ' ') symbol.pop_back();
        const double v = std::strtod(percent.c_str(), nullptr);
        p.share[partOf(dso)] += v;
        total += v;
        if (dso.find("libc.so") != std::string::npos &&
            (symbol.find("memset") != std::string::npos || symbol.find("memcpy") != std::string::npos ||
             symbol.find("memmove") != std::string::npos))
            p.memOps += v;
        p.top.emplace_back(v, dso + ": " + symbol);
    }
    if (total <= 0) return p;
    std::sort(p.top.begin(), p.top.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (p.top.size() > 6) p.top.resize(6);
    p.ok = true;
    return p;
}

// ---- One case ------------------------------------------------------------------------------------------
struct Figures {
    std::string name;
    bool ok = false;
    double wallMs = 0;
    double pagesPerSecond = 0;
    long peakKiB = 0;
    long devKiB = 0;
    double devMs = 0;  // wall time of the empty one-page run: start-up, device, one empty sheet
    JbigFigures jbig;
    Profile profile;
};

long g_progKiB = 0;

std::vector<Figures>& results() {
    static std::vector<Figures> all;
    return all;
}

void removeTree(const fs::path& p) {
    if (g_keep) return;
    std::error_code ec;
    fs::remove_all(p, ec);
}

void benchDocument(benchmark::State& state, const Case& c) {
    const fs::path caseDir = scratchRoot() / c.name;
    std::error_code ec;
    fs::remove_all(caseDir, ec);
    fs::create_directories(caseDir);
    const fs::path doc = documentsDir() / c.document;

    Figures f;
    f.name = c.name;
    std::vector<double> walls;
    fs::path lastJob;
    int run = 0;
    bool failed = false;
    for (auto _ : state) {
        ++run;
        const fs::path runDir = caseDir / ("run-" + std::to_string(run));
        fs::create_directories(runDir);
        const fs::path job = runDir / "job.prn";
        const Run r = runChild(printArgs(c, runDir / "machine", job, doc, kPages), runDir / "print.log");
        if (!r.ok) {
            state.SkipWithError(("rastrel-print failed, see " + (runDir / "print.log").string()).c_str());
            g_keep = true;
            failed = true;
            break;
        }
        state.SetIterationTime(r.wallMs / 1000.0);
        walls.push_back(r.wallMs);
        f.peakKiB = std::max(f.peakKiB, r.maxRssKiB);
        removeTree(runDir / "machine");
        if (!lastJob.empty()) removeTree(lastJob.parent_path());
        lastJob = job;
    }
    if (failed || walls.empty()) return;
    std::sort(walls.begin(), walls.end());
    f.wallMs = walls[walls.size() / 2];
    f.pagesPerSecond = kPages / (f.wallMs / 1000.0);

    // The device baseline: the same settings, one empty page, as many runs.
    {
        std::vector<double> devWalls;
        for (int i = 0; i < kRuns; ++i) {
            const fs::path dir = caseDir / ("device-" + std::to_string(i + 1));
            fs::create_directories(dir);
            const Run r = runChild(printArgs(c, dir / "machine", dir / "job.prn", documentsDir() / "blank.page", 1),
                                   dir / "print.log");
            if (r.ok) {
                f.devKiB = std::max(f.devKiB, r.maxRssKiB);
                devWalls.push_back(r.wallMs);
            }
            removeTree(dir);
        }
        std::sort(devWalls.begin(), devWalls.end());
        if (!devWalls.empty()) f.devMs = devWalls[devWalls.size() / 2];
    }

    f.jbig = jbigAlone(lastJob);
    if (!f.jbig.ok) {
        state.SkipWithError(("the job stream does not read back: " + f.jbig.why).c_str());
        g_keep = true;
        return;
    }

    if (g_perf) {
        const fs::path dir = caseDir / "perf";
        fs::create_directories(dir);
        f.profile = profileRun(printArgs(c, dir / "machine", dir / "job.prn", doc, kPages), dir);
        removeTree(dir);
    }
    removeTree(caseDir);
    f.ok = true;

    state.counters["pages_per_s"] = f.pagesPerSecond;
    state.counters["jbig_ms"] = f.jbig.ms;
    state.counters["nonjbig_pct"] = 100.0 * (f.wallMs - f.jbig.ms) / f.wallMs;
    state.counters["peak_MiB"] = f.peakKiB / 1024.0;
    state.counters["peak_less_prog_PB"] = (f.peakKiB - g_progKiB) * 1024.0 / kPageBuffer;
    if (f.profile.ok) state.counters["driver_pct"] = f.profile.share[kDriver];
    auto& all = results();
    auto it = std::find_if(all.begin(), all.end(), [&](const Figures& g) { return g.name == f.name; });
    if (it != all.end()) *it = f; else all.push_back(f);
}

// ---- Peers: the same inputs through a plain Linux print chain ----------------------------------------
bool g_peers = true;

struct PeerCase {
    std::string name;
    std::string input;                  // file under the scratch folder, made at start
    int pages = 1;
    std::vector<std::string> settings;  // rastrel-print's print settings
    std::string peer;                   // the peer on one core, a shell command; $IN the input, $OUT a folder
    std::string parallel;               // the peer four pages at once (empty: none)
};

struct PeerFigures {
    std::string name;
    bool ok = false;
    int pages = 1;
    double oursMs = 0, peerMs = 0, parallelMs = 0;  // medians of wall time
    double oursCores = 0, peerCores = 0, parallelCores = 0;  // CPU time over wall time, of the median run
    long oursKiB = 0, peerKiB = 0, parallelKiB = 0;
};

std::vector<PeerFigures>& peerResults() {
    static std::vector<PeerFigures> all;
    return all;
}

bool onPath(const char* tool) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"})
        if (access((fs::path(dir) / tool).c_str(), X_OK) == 0) return true;
    return false;
}

// PostScript of a Letter text document: a heading and 56 lines of words a page.
std::string textPostScript(int pages) {
    static const char* words[] = {"the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "printer", "page",
                                  "raster", "stream", "driver", "engine", "sheet", "grey", "paper", "toner"};
    std::string ps = "%!PS\n<< /PageSize [612 792] >> setpagedevice\n";
    uint32_t state = 7;
    for (int page = 0; page < pages; ++page) {
        ps += "/Helvetica-Bold findfont 16 scalefont setfont 72 740 moveto (Chapter " + std::to_string(page + 1) +
              ") show\n/Times-Roman findfont 10 scalefont setfont\n";
        for (int y = 716; y > 60; y -= 12) {
            std::string line;
            for (int w = 0; w < 16; ++w) {
                state = state * 1103515245u + 12345u;
                line += std::string(w ? " " : "") + words[(state >> 16) % 18];
            }
            ps += "72 " + std::to_string(y) + " moveto (" + line + ") show\n";
        }
        ps += "showpage\n";
    }
    return ps;
}

const char* kMixedPostScript = R"(%!PS
<< /PageSize [595 842] >> setpagedevice
/Helvetica-Bold findfont 24 scalefont setfont 72 780 moveto (A mixed page) show
0 setgray 72 600 150 150 rectfill
0.5 setgray 250 600 250 40 rectfill
/row 256 string def /n 0 def
gsave 72 250 translate 450 300 scale
256 192 8 [256 0 0 -192 0 192]
{ 0 1 255 { dup dup mul n add 7 idiv 255 and row 3 1 roll put } for /n n 13 add def row }
image
grestore
0 setgray /Times-Roman findfont 11 scalefont setfont
72 200 moveto (Text below the picture, in eleven points, to be read.) show
showpage
)";

// PostScript of a 4-page A4 photo document: on each page a colour photograph of 1600 x 1200 pixels
// (smooth shapes, light noise, as a camera's picture) over most of the page, and a caption. The
// pixels follow the PostScript as binary data.
std::string photoPostScript() {
    constexpr int kW = 1600, kH = 1200;
    std::string ps = "%!PS\n<< /PageSize [595 842] >> setpagedevice\n/row " + std::to_string(3 * kW) + " string def\n";
    uint32_t noise = 99;
    for (int page = 0; page < 4; ++page) {
        ps += "gsave 40 180 translate 515 620 scale\n" + std::to_string(kW) + " " + std::to_string(kH) + " 8 [" +
              std::to_string(kW) + " 0 0 -" + std::to_string(kH) + " 0 " + std::to_string(kH) +
              "] { currentfile row readstring pop } false 3 colorimage\n";
        std::string pixels(size_t(3) * kW * kH, '\0');
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int n = static_cast<int>(noise >> 28) - 8;
                const int dx = x - 500 - 150 * page, dy = y - 450;
                const bool sun = dx * dx + dy * dy < 180 * 180;
                const int sky = 120 + y * 100 / kH, hill = y > 700 + (x % 400) / 3 ? 1 : 0;
                int r = sun ? 250 : hill ? 60 + x % 90 : sky, g = sun ? 220 : hill ? 120 + y % 60 : sky + 40,
                    b = sun ? 120 : hill ? 40 : 230 - y * 60 / kH;
                char* p = &pixels[(size_t(y) * kW + x) * 3];
                p[0] = static_cast<char>(std::clamp(r + n, 0, 255));
                p[1] = static_cast<char>(std::clamp(g + n, 0, 255));
                p[2] = static_cast<char>(std::clamp(b + n, 0, 255));
            }
        ps += pixels;
        ps += "\ngrestore 0 setgray /Times-Roman findfont 11 scalefont setfont 72 140 moveto (Photograph " +
              std::to_string(page + 1) + ", a landscape in the evening.) show\nshowpage\n";
    }
    return ps;
}

bool writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// The peers' inputs in the scratch folder; false (with the reason) when they cannot be made.
bool makePeerInputs(std::string* why) {
    for (const char* tool : {"gs", "pdftoppm", "pgmtopbm", "pbmtojbg"})
        if (!onPath(tool)) {
            *why = std::string("no ") + tool + " (tools/setup/deps.sh installs Ghostscript, poppler-utils, netpbm, jbigkit-bin)";
            return false;
        }
    const fs::path dir = scratchRoot();
    if (!writeFile(dir / "text.ps", textPostScript(kPages)) || !writeFile(dir / "text100.ps", textPostScript(100)) ||
        !writeFile(dir / "mixed.ps", kMixedPostScript) || !writeFile(dir / "photo.ps", photoPostScript())) {
        *why = "cannot write the PostScript inputs";
        return false;
    }
    for (const char* name : {"text", "text100", "mixed", "photo"}) {
        const Run r = runChild({"/bin/sh", "-c",
                                "gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=" + (dir / name).string() +
                                    ".pdf " + (dir / name).string() + ".ps"},
                               dir / "gs.log");
        if (!r.ok) {
            *why = std::string("Ghostscript cannot make ") + name + ".pdf, see " + (dir / "gs.log").string();
            g_keep = true;
            return false;
        }
    }
    // A4 at 600 dpi: grey ramps across, reversed every 64 rows.
    const int w = 4960, h = 7016;
    std::string pgm = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::string ramp(w, '\0'), back(w, '\0');
    for (int x = 0; x < w; ++x) ramp[x] = back[w - 1 - x] = static_cast<char>(x * 255 / (w - 1));
    pgm.reserve(pgm.size() + size_t(w) * h);
    for (int y = 0; y < h; ++y) pgm += (y / 64) % 2 ? back : ramp;
    if (!writeFile(dir / "grey.pgm", pgm)) {
        *why = "cannot write grey.pgm";
        return false;
    }
    return true;
}

std::string substituted(std::string command, const fs::path& in, const fs::path& out) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"$IN", in.string()}, {"$OUT", out.string()}})
        for (size_t at; (at = command.find(key)) != std::string::npos;) command.replace(at, key.size(), value);
    return command;
}

struct Median {
    double ms = 0, cores = 0;
};
Median medianOf(std::vector<Run> runs) {
    if (runs.empty()) return {};
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.wallMs < b.wallMs; });
    const Run& m = runs[runs.size() / 2];
    return Median{m.wallMs, m.wallMs > 0 ? m.cpuMs / m.wallMs : 0};
}

void benchPeer(benchmark::State& state, const PeerCase& c) {
    const fs::path caseDir = scratchRoot() / ("peer-" + c.name);
    std::error_code ec;
    fs::remove_all(caseDir, ec);
    fs::create_directories(caseDir);
    const fs::path input = scratchRoot() / c.input;
    PeerFigures f;
    f.name = c.name;
    f.pages = c.pages;
    std::vector<Run> ours, peers, parallels;
    int run = 0;
    for (auto _ : state) {
        ++run;
        const fs::path runDir = caseDir / ("run-" + std::to_string(run));
        fs::create_directories(runDir / "peer");
        fs::create_directories(runDir / "parallel");
        // Alternating: rastrel-print, then the peers, on the same input.
        std::vector<std::string> print{printBinary().string(), "-q", "--machine", (runDir / "machine").string(), "-o",
                                       (runDir / "job.prn").string()};
        print.insert(print.end(), c.settings.begin(), c.settings.end());
        print.push_back(input.string());
        const Run a = runChild(print, runDir / "print.log");
        const Run b = runChild({"/bin/sh", "-c", substituted(c.peer, input, runDir / "peer")}, runDir / "peer.log");
        Run p;
        p.ok = true;
        if (!c.parallel.empty())
            p = runChild({"/bin/sh", "-c", substituted(c.parallel, input, runDir / "parallel")}, runDir / "parallel.log");
        if (!a.ok || !b.ok || !p.ok) {
            state.SkipWithError((std::string(a.ok ? "a peer" : "rastrel-print") + " failed, see " + runDir.string()).c_str());
            g_keep = true;
            return;
        }
        state.SetIterationTime(a.wallMs / 1000.0);
        ours.push_back(a);
        peers.push_back(b);
        if (!c.parallel.empty()) parallels.push_back(p);
        f.oursKiB = std::max(f.oursKiB, a.maxRssKiB);
        f.peerKiB = std::max(f.peerKiB, b.maxRssKiB);
        f.parallelKiB = std::max(f.parallelKiB, p.maxRssKiB);
        removeTree(runDir);
    }
    const Median o = medianOf(ours), g = medianOf(peers), q = medianOf(parallels);
    f.oursMs = o.ms;
    f.oursCores = o.cores;
    f.peerMs = g.ms;
    f.peerCores = g.cores;
    f.parallelMs = q.ms;
    f.parallelCores = q.cores;
    f.ok = true;
    state.counters["ours_ms"] = f.oursMs;
    state.counters["peer_ms"] = f.peerMs;
    state.counters["ratio"] = f.oursMs / f.peerMs;
    state.counters["peak_MiB"] = f.oursKiB / 1024.0;
    removeTree(caseDir);
    peerResults().push_back(f);
}

// The targets of the ratio to the one-core peer and of the peak memory (MiB, 0: none).
struct PeerTarget {
    const char* name;
    double ratio;
    double peakMiB;
};
constexpr PeerTarget kPeerTargets[] = {
    {"text_pdf", 1.0, 120}, {"text100_pdf", 1.0, 0}, {"mixed_pdf", 1.0, 0}, {"photo_pdf", 1.0, 0}, {"grey_pgm", 0.9, 0},
};

void printPeerTable() {
    if (peerResults().empty()) return;
    std::printf("\nagainst the plain Linux print chains (whole processes, alternating, median of %d runs each;\n"
                "one core: Ghostscript to 1-bit pages, or netpbm for the PGM; x4: pdftoppm -mono four pages at once;\n"
                "every chain ends in pbmtojbg with the driver's options)\n", kRuns);
    std::printf("%-12s %5s %8s %5s %8s %5s %6s %8s %5s %6s %8s %8s %8s %s\n", "input", "pages", "ours ms", "cores",
                "1core ms", "cores", "ratio", "x4 ms", "cores", "ratio", "ours MiB", "1core MiB", "x4 MiB", "targets");
    for (const PeerFigures& f : peerResults()) {
        if (!f.ok) continue;
        const double ratio = f.oursMs / f.peerMs;
        const PeerTarget* t = nullptr;
        for (const PeerTarget& k : kPeerTargets)
            if (f.name == k.name) t = &k;
        std::string verdict;
        if (t) {
            char text[96];
            std::snprintf(text, sizeof text, "ratio<=%.1f %s", t->ratio, ratio <= t->ratio ? "ok" : "!");
            verdict = text;
            if (t->peakMiB > 0) {
                std::snprintf(text, sizeof text, "; peak<=%.0f MiB %s", t->peakMiB,
                              f.oursKiB / 1024.0 <= t->peakMiB ? "ok" : "!");
                verdict += text;
            }
        }
        char parallel[3][16] = {"-", "-", "-"};
        if (f.parallelMs > 0) {
            std::snprintf(parallel[0], sizeof parallel[0], "%.0f", f.parallelMs);
            std::snprintf(parallel[1], sizeof parallel[1], "%.1f", f.parallelCores);
            std::snprintf(parallel[2], sizeof parallel[2], "%.2f", f.oursMs / f.parallelMs);
        }
        std::printf("%-12s %5d %8.0f %5.1f %8.0f %5.1f %6.2f %8s %5s %6s %8.1f %8.1f %8.1f %s\n", f.name.c_str(), f.pages,
                    f.oursMs, f.oursCores, f.peerMs, f.peerCores, ratio, parallel[0], parallel[1], parallel[2],
                    f.oursKiB / 1024.0, f.peerKiB / 1024.0, f.parallelKiB / 1024.0, verdict.c_str());
    }
    std::printf("(ratio: rastrel-print's wall time over the peer's; cores: CPU time over wall time; MiB: peak\n"
                " resident memory, for a chain its largest process)\n");
}

void printTables() {
    std::printf("\nwhole documents, %d pages each, median of %d runs; JBIG-KIT alone on the same sheets\n", kPages,
                kRuns);
    std::printf("(start ms: the empty one-page run with the same settings, i.e. the fixed cost of a run)\n");
    std::printf("%-16s %6s %8s %7s %9s %8s %9s %8s %9s\n", "case", "sheets", "wall ms", "pages/s", "jbig ms",
                "nonjbig", "start ms", "KiB", "jbig=drv");
    for (const Figures& f : results()) {
        if (!f.ok) continue;
        std::printf("%-16s %6d %8.0f %7.2f %9.1f %7.1f%% %9.0f %8.0f %9s\n", f.name.c_str(), f.jbig.sheets,
                    f.wallMs, f.pagesPerSecond, f.jbig.ms, 100.0 * (f.wallMs - f.jbig.ms) / f.wallMs, f.devMs,
                    f.jbig.streamBytes / 1024.0, f.jbig.sameSize ? "yes" : "NO");
    }

    bool anyProfile = false;
    for (const Figures& f : results()) anyProfile |= f.profile.ok;
    if (anyProfile) {
        std::printf("\nprofile of one more run (perf record, cpu-clock samples by shared object, %% of all)\n");
        std::printf("%-16s", "case");
        for (const char* n : kPartNames) std::printf(" %7s", n);
        std::printf(" %8s %9s %7s\n", "libc mem", "not j/h", "driver");
        for (const Figures& f : results()) {
            if (!f.ok || !f.profile.ok) continue;
            std::printf("%-16s", f.name.c_str());
            for (double v : f.profile.share) std::printf(" %6.1f%%", v);
            const bool met = f.profile.share[kDriver] < 15.0;
            const double rest = 100.0 - f.profile.share[kJbig] - f.profile.share[kHarness];
            std::printf(" %7.1f%% %8.1f%% %7s\n", f.profile.memOps, rest, met ? "<15 ok" : ">=15 !");
        }
        std::printf("(libc mem: memset, memcpy and memmove in libc, within runtime; not j/h: all but JBIG-KIT and\n"
                    " the harness, i.e. driver, engine, runtime and kernel together)\n");
        std::printf("largest symbols:\n");
        for (const Figures& f : results()) {
            if (!f.ok || !f.profile.ok) continue;
            std::printf("  %s:", f.name.c_str());
            for (const auto& [v, s] : f.profile.top) std::printf(" %.1f%% %s;", v, s.c_str());
            std::printf("\n");
        }
    }

    std::printf("\npeak memory (ru_maxrss of the child; PB = page buffer of 4736 x 6784 bytes = %.1f MiB)\n",
                kPageBuffer / kMiB);
    std::printf("prog = rastrel-print --help: %.1f MiB; dev = one empty page with the case's settings\n",
                g_progKiB / 1024.0);
    std::printf("%-16s %9s %8s %8s %13s %12s %7s\n", "case", "peak MiB", "peak PB", "dev MiB", "peak-prog PB",
                "peak-dev PB", "target");
    for (const Figures& f : results()) {
        if (!f.ok) continue;
        const double lessProg = (f.peakKiB - g_progKiB) * 1024.0 / kPageBuffer;
        std::printf("%-16s %9.1f %8.2f %8.1f %13.2f %12.2f %7s\n", f.name.c_str(), f.peakKiB / 1024.0,
                    f.peakKiB * 1024.0 / kPageBuffer, f.devKiB / 1024.0, lessProg,
                    (f.peakKiB - f.devKiB) * 1024.0 / kPageBuffer, lessProg < 3.0 ? "<3 ok" : ">=3 !");
    }
    std::printf("targets: the driver's share of the profile < 15%%; peak - prog < 3 page buffers; '!' misses.\n");
    printPeerTable();
    if (g_keep) std::printf("files kept under %s\n", scratchRoot().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (!startLauncher()) {
        std::fprintf(stderr, "document_bench: cannot start the launcher\n");
        return 1;
    }
    // Our own flags first; the rest goes to Google Benchmark.
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-perf") == 0)
            g_perf = false;
        else if (std::strcmp(argv[i], "--no-peers") == 0)
            g_peers = false;
        else if (std::strcmp(argv[i], "--keep") == 0)
            g_keep = true;
        else
            rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;

    if (access(printBinary().c_str(), X_OK) != 0) {
        std::fprintf(stderr, "document_bench: no %s (build rastrel-print)\n", printBinary().c_str());
        return 1;
    }
    for (const char* d : {"text.page", "photo.page", "blank.page", "long-line.page", "small-text.page"}) {
        if (!fs::is_regular_file(documentsDir() / d)) {
            std::fprintf(stderr, "document_bench: no %s (set DOCUMENT_BENCH_DOCUMENTS)\n",
                         (documentsDir() / d).c_str());
            return 1;
        }
    }
    char pattern[] = "/tmp/document_bench.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    scratchRoot() = pattern;
    if (g_perf && !perfBinary()) g_perf = false;

    {
        const Run r = runChild({printBinary().string(), "--help"}, scratchRoot() / "help.log");
        g_progKiB = r.maxRssKiB;
    }

    static const std::vector<Case> cases = {
        {"text_600", "text.page", {"--resolution", "600"}},
        {"text_1200", "text.page", {"--resolution", "1200"}},
        {"photo_600", "photo.page", {"--resolution", "600"}},
        {"photo_1200", "photo.page", {"--resolution", "1200"}},
        {"text_600_4up", "text.page", {"--resolution", "600", "--pages-per-sheet", "4"}},
        {"text_600_9up", "text.page", {"--resolution", "600", "--pages-per-sheet", "9"}},
        {"text_600_wmark", "text.page", {"--resolution", "600", "--watermark", "CONFIDENTIAL"}},
        {"long_line", "long-line.page", {"--resolution", "600"}},
        {"small_text", "small-text.page", {"--resolution", "600"}},
    };
    for (const Case& c : cases) {
        benchmark::RegisterBenchmark(("document/" + c.name).c_str(), benchDocument, c)
            ->Iterations(kRuns)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    static std::vector<PeerCase> peerCases;
    if (g_peers) {
        std::string why;
        if (!makePeerInputs(&why)) {
            std::fprintf(stderr, "document_bench: peers left out: %s\n", why.c_str());
        } else {
            // The driver's encoder options: one layer, stripes of 128 rows, no adaptive template
            // moves, order 3, options 0x5C.
            const std::string jbig = "pbmtojbg -q -s 128 -m 0 -o 3 -p 92";
            const std::string gsChain =
                "gs -q -dNOPAUSE -dBATCH -dSAFER -dNumRenderingThreads=1 -sDEVICE=pbmraw -r600 "
                "-sOutputFile=$OUT/page-%03d.pbm $IN && for f in $OUT/page-*.pbm; do " + jbig + " $f $f.jbg || exit 1; done";
            // Four workers, each a quarter of the pages through pdftoppm -mono and pbmtojbg.
            auto fourAtOnce = [&](int pages) {
                return "n=" + std::to_string(pages) +
                       "; for k in 0 1 2 3; do ( f=$((k*n/4+1)); l=$(((k+1)*n/4)); [ $f -le $l ] || exit 0; "
                       "pdftoppm -mono -r 600 -f $f -l $l $IN $OUT/p$k || exit 1; for p in $OUT/p$k-*.pbm; do " +
                       jbig + " $p $p.jbg || exit 1; done ) & done; wait";
            };
            peerCases = {
                {"text_pdf", "text.pdf", kPages, {"--paper", "letter", "--resolution", "600"}, gsChain,
                 fourAtOnce(kPages)},
                {"text100_pdf", "text100.pdf", 100, {"--paper", "letter", "--resolution", "600"}, gsChain,
                 fourAtOnce(100)},
                {"mixed_pdf", "mixed.pdf", 1, {"--resolution", "600"}, gsChain, fourAtOnce(1)},
                {"photo_pdf", "photo.pdf", 4, {"--resolution", "600"}, gsChain, fourAtOnce(4)},
                {"grey_pgm", "grey.pgm", 1, {"--resolution", "600"}, "pgmtopbm -dither8 $IN | " + jbig + " - $OUT/page.jbg",
                 ""},
            };
            for (const PeerCase& c : peerCases)
                benchmark::RegisterBenchmark(("peer/" + c.name).c_str(), benchPeer, c)
                    ->Iterations(kRuns)
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    printTables();
    benchmark::Shutdown();
    if (!g_keep) {
        std::error_code ec;
        fs::remove_all(scratchRoot(), ec);
    }
    return 0;
}
