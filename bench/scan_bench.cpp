// Saving scanned pages, whole processes: the scan-button program scanning from the stand-in scanner
// driver and saving (bin/scan-button beside this program presses the button on a simulated machine
// and waits for the program), against the Linux encoders given the same driver's lines as a file.
//
// Cases (A4 at 300 dpi in colour: 2480 x 3507 pixels, flatbed unless said):
//   jpeg       one page saved as JPEG; peer: the page's lines | cjpeg -quality 75 (the save's quality)
//   tiff       one page saved as TIFF; peer: the page's lines | ppm2tiff -c lzw
//   pdf_20     20 pages from the feeder saved as one PDF; peer: each page's lines | cjpeg -quality 65
//              (the PDF writer's quality at 300 dpi), then img2pdf of the 20 JPEGs
// The lines are those the stand-in driver delivers (standin::pageLine), made by this program
// (`scan_bench --lines PAGE` writes them as a PPM on stdout). Every run of ours and of its peer alternate (kRuns each); the figures are
// the median wall times, the ratio ours / peer (target at most 1.2, printed, never asserted), and
// "start": the median of a run that saves one card-size line-art page at 75 dpi, the fixed cost of
// starting the program on the machine, which is inside every figure of ours.
//
//   build/bin/scan_bench [--keep] [benchmark flags]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "page_pattern.h"
#include "self_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr int kWidth = 2480, kHeight = 3507;  // A4 (9921 x 14031 / 1200 in) at 300 dpi
constexpr int kFeederPages = 20;

bool g_keep = false;

using bench::selfDir;

fs::path& scratchRoot() {
    static fs::path root;
    return root;
}

struct Run {
    bool ok = false;
    double wallMs = 0;
};

// Runs a shell command with its output going to log, and times it whole.
Run shell(const std::string& command, const fs::path& log) {
    const std::string line = command + " >'" + log.string() + "' 2>&1";
    const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
    pid_t pid = 0;
    const auto t0 = Clock::now();
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return {};
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return {};
    Run run;
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// Page `page` as the stand-in driver delivers it in colour, line by line, as a PPM on stdout.
int writePageLines(int page) {
    std::printf("P6\n%d %d\n255\n", kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        const std::vector<uint8_t> line = standin::pageLine(page, y, kWidth, kHeight, 2);
        if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

struct Case {
    std::string name;
    std::string digits;  // the push command: resolution, colour, paper, file type, source, multi-page
    int pages;
    std::string peer;  // shell; $DIR the peer's output folder
};

struct Figures {
    std::string name;
    bool ok = false;
    double oursMs = 0, peerMs = 0;
};

std::vector<Figures>& results() {
    static std::vector<Figures> all;
    return all;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One scan on a machine of its own, made and the program installed by a first scan that is not
// timed; the stand-in's script set for the pages asked for.
std::string scanCommand(const fs::path& machine, const std::string& digits) {
    return quoted(selfDir() / "scan-button") + " --machine " + quoted(machine) + " " + digits;
}

bool prepareMachine(const fs::path& machine, int pages) {
    if (!shell(scanCommand(machine, "006000"), machine.string() + ".log").ok) return false;
    for (const auto& entry : fs::recursive_directory_iterator(machine))
        if (entry.path().filename().string().ends_with("vqm.dll")) {
            fs::path script = entry.path();
            script.replace_extension(".script");
            std::ofstream(script) << "pages " << pages << "\n";
            return true;
        }
    return false;
}

double g_startMs = 0;

void benchScan(benchmark::State& state, const Case& c) {
    const fs::path dir = scratchRoot() / c.name;
    fs::create_directories(dir);
    Figures f;
    f.name = c.name;
    if (!prepareMachine(dir / "machine", c.pages)) {
        state.SkipWithError("cannot install the scan-button program on a machine");
        g_keep = true;
        return;
    }
    std::vector<double> ours, peers;
    int run = 0;
    for (auto _ : state) {
        ++run;
        const Run a = shell(scanCommand(dir / "machine", c.digits), dir / "scan.log");
        const fs::path out = dir / ("peer-" + std::to_string(run));
        fs::create_directories(out);
        std::string peer = c.peer;
        for (size_t at; (at = peer.find("$DIR")) != std::string::npos;) peer.replace(at, 4, quoted(out));
        const Run b = shell(peer, dir / "peer.log");
        if (!a.ok || !b.ok) {
            state.SkipWithError((std::string(a.ok ? "the peer" : "scan-button") + " failed, see " + dir.string()).c_str());
            g_keep = true;
            return;
        }
        state.SetIterationTime(a.wallMs / 1000.0);
        ours.push_back(a.wallMs);
        peers.push_back(b.wallMs);
        if (!g_keep) fs::remove_all(out);
    }
    f.oursMs = median(ours);
    f.peerMs = median(peers);
    f.ok = true;
    state.counters["ours_ms"] = f.oursMs;
    state.counters["peer_ms"] = f.peerMs;
    state.counters["ratio"] = f.oursMs / f.peerMs;
    results().push_back(f);
    if (!g_keep) fs::remove_all(dir);
}

void printTable() {
    std::printf("\nsaving scanned pages, whole processes, alternating, median of %d runs each\n", kRuns);
    std::printf("start: %.0f ms (one card-size line-art page at 75 dpi: the fixed cost inside every run of ours)\n",
                g_startMs);
    std::printf("%-8s %9s %9s %6s %9s %s\n", "case", "ours ms", "peer ms", "ratio", "less start", "target");
    for (const Figures& f : results()) {
        if (!f.ok) continue;
        const double ratio = f.oursMs / f.peerMs;
        std::printf("%-8s %9.0f %9.0f %6.2f %9.2f %s\n", f.name.c_str(), f.oursMs, f.peerMs, ratio,
                    (f.oursMs - g_startMs) / f.peerMs, ratio <= 1.2 ? "<=1.2 ok" : ">1.2 !");
    }
    std::printf("(ratio: ours over the peer's; less start: ours less the start, over the peer's)\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--lines") == 0) return writePageLines(std::atoi(argv[2]));
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0)
            g_keep = true;
        else
            rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
    if (access((selfDir() / "scan-button").c_str(), X_OK) != 0) {
        std::fprintf(stderr, "scan_bench: no %s (build scan-button)\n", (selfDir() / "scan-button").c_str());
        return 1;
    }
    for (const char* tool : {"cjpeg", "ppm2tiff", "img2pdf"})
        if (shell(std::string("command -v ") + tool, "/dev/null").ok == false) {
            std::fprintf(stderr, "scan_bench: no %s (tools/setup/deps.sh installs it)\n", tool);
            return 1;
        }
    char pattern[] = "/tmp/scan_bench.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    scratchRoot() = pattern;
    {
        const fs::path machine = scratchRoot() / "start-machine";
        std::vector<double> starts;
        if (prepareMachine(machine, 1))
            for (int i = 0; i < kRuns; ++i) starts.push_back(shell(scanCommand(machine, "006000"), machine.string() + ".log").wallMs);
        g_startMs = median(starts);
    }
    const std::string lines = quoted(selfDir() / "scan_bench") + " --lines ";
    static const std::vector<Case> cases = {
        {"jpeg", "220100", 1, lines + "1 | cjpeg -quality 75 -outfile $DIR/page.jpg"},
        {"tiff", "220000", 1, lines + "1 | ppm2tiff -c lzw $DIR/page.tif"},
        {"pdf_20", "220211", kFeederPages,
         "for p in $(seq 101 " + std::to_string(100 + kFeederPages) + "); do " + lines +
             "$((p - 100)) | cjpeg -quality 65 -outfile $DIR/page-$p.jpg || exit 1; done && img2pdf -o $DIR/pages.pdf "
             "$DIR/page-*.jpg"},
    };
    for (const Case& c : cases)
        benchmark::RegisterBenchmark(("scan/" + c.name).c_str(), benchScan, c)
            ->Iterations(kRuns)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    printTable();
    benchmark::Shutdown();
    if (!g_keep) fs::remove_all(scratchRoot());
    else std::printf("files kept under %s\n", scratchRoot().c_str());
    return 0;
}
