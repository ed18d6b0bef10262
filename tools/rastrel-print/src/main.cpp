// rastrel-print: prints page descriptions, pictures and PDFs through the Rastrel driver as an
// application prints through GDI, and keeps the job stream the driver wrote.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bitmap_file.h"
#include "devmode_builder.h"
#include "platform/control.h"
#include "platform/printing.h"
#include "platform/testing/build_tree.h"
#include "platform/testing/machine.h"
#include "rastrel_dump/images.h"
#include "rastrel_dump/stream.h"
#include "rastrel_print/render.h"
#include "rastrel_print/settings.h"
#include "win/spooler.h"

namespace fs = std::filesystem;
using namespace rastrel_print;

namespace {

const char* kDriverName = "Rastrel Monochrome Laser";

void usageText(FILE* out) {
    std::fprintf(out,
                 "usage: rastrel-print [options] INPUT...\n"
                 "  Prints each INPUT through the Rastrel driver as an application prints through the\n"
                 "  graphics engine: a page description (see tools/rastrel-print/README.md), a PNG, PGM or\n"
                 "  PPM picture (one page, fitted to the printable area) or a PDF (each page rasterised at\n"
                 "  the device resolution). The kind is told by the file's first bytes.\n"
                 "\n"
                 "output:\n"
                 "  -o FILE                   write the job stream (the bytes the spooler got) to FILE\n"
                 "  --png DIR                 write each decoded sheet as DIR/sheet-NNN.png\n"
                 "  -q, --quiet               no progress lines\n"
                 "machine and printer:\n"
                 "  --machine DIR             the machine to print in (the printer stays installed\n"
                 "                            there); default PLATFORM_MACHINE, else a fresh\n"
                 "                            temporary machine, removed afterwards\n"
                 "  --driver PATH             the driver module (default: lib/Rastrel.so beside bin/)\n"
                 "  --printer NAME            the printer (default \"Rastrel Printer\"); installed when\n"
                 "                            missing or when its driver module differs\n"
                 "  --title TEXT              the job's document name (default: the first input's name)\n"
                 "  --fit                     scale PDF pages to the printable area (default: actual\n"
                 "                            size, the page's corner on the paper's corner)\n"
                 "print settings (applied to the printer's own DEVMODE):\n");
    for (const SettingOption& o : settingOptions()) {
        std::string head = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
        std::fprintf(out, "  %-25s %s\n", head.c_str(), o.help);
    }
    std::fprintf(out, "  papers:");
    int column = 10;
    for (const PaperName& p : paperNames()) {
        int width = static_cast<int>(std::strlen(p.name)) + 1;
        if (column + width > 96) {
            std::fprintf(out, "\n         ");
            column = 9;
        }
        std::fprintf(out, " %s", p.name);
        column += width;
    }
    std::fprintf(out,
                 "\n\nexit status: 0 printed, 1 an input or the printing failed, 2 a usage error.\n");
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "rastrel-print: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'rastrel-print --help'.\n");
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "rastrel-print: %s\n", message.c_str());
    return 1;
}

// A host file's bytes: a regular file read in one go, anything else (a pipe) to its end.
std::optional<std::string> readHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) {
        std::string bytes(static_cast<size_t>(fs::file_size(path, ec)), '\0');
        if (!ec && in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())) && in.peek() == EOF) return bytes;
        in.clear();
        in.seekg(0);
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A BMP file is as long as its header says: of one that is not a BMP file, the first bytes are enough.
size_t bitmapFileBound(std::string_view head) {
    if (head.size() < 6 || head[0] != 'B' || head[1] != 'M') return head.size();
    const auto* p = reinterpret_cast<const unsigned char*>(head.data()) + 2;
    return p[0] | (size_t(p[1]) << 8) | (size_t(p[2]) << 16) | (size_t(p[3]) << 24);
}

// The printer's DEVMODE as its settings part gives it, or nothing.
std::optional<std::string> printerDevmode(const std::u16string& name) {
    std::u16string copy = name;
    HANDLE printer = nullptr;
    if (!OpenPrinterW(copy.data(), &printer, nullptr)) return std::nullopt;
    std::optional<std::string> bytes;
    LONG size = DocumentPropertiesW(nullptr, printer, copy.data(), nullptr, nullptr, 0);
    if (size >= static_cast<LONG>(sizeof(DEVMODEW))) {
        std::string buffer(static_cast<size_t>(size), '\0');
        if (DocumentPropertiesW(nullptr, printer, copy.data(), reinterpret_cast<DEVMODEW*>(buffer.data()), nullptr,
                                DM_OUT_BUFFER) == IDOK)
            bytes = std::move(buffer);
    }
    ClosePrinter(printer);
    return bytes;
}

// The host file of the printer's installed driver module, when the printer is there.
std::optional<fs::path> installedModule(const std::u16string& name) {
    std::u16string copy = name;
    HANDLE printer = nullptr;
    if (!OpenPrinterW(copy.data(), &printer, nullptr)) return std::nullopt;
    std::optional<fs::path> module;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(std::max<DWORD>(needed, sizeof(PRINTER_INFO_2W)));
    if (GetPrinterW(printer, 2, info.data(), static_cast<DWORD>(info.size()), &needed)) {
        const auto* p = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
        if (p->pDriverName)
            if (auto path = platform::driverModulePath(p->pDriverName)) module = platform::hostPath(*path);
    }
    ClosePrinter(printer);
    return module ? module : std::optional<fs::path>(fs::path());
}

// Installs the printer unless it is there with this very driver module; keeps its DEVMODE.
void ensurePrinter(const std::u16string& name, const fs::path& driver, bool* installed) {
    *installed = false;
    auto module = installedModule(name);
    if (module && !module->empty()) {
        std::error_code haveError, wantedError;
        // Modules of different sizes differ: only modules of the same size are read and compared.
        if (fs::file_size(*module, haveError) == fs::file_size(driver, wantedError) && !haveError && !wantedError) {
            auto have = readHost(*module);
            auto wanted = readHost(driver);
            if (have && wanted && *have == *wanted) return;
        }
    }
    platform::PrinterSetup setup;
    setup.name = name;
    setup.driverName = platform::fromUtf8(kDriverName);
    setup.driverModule = driver;
    setup.driverModuleName = u"Rastrel.dll";
    auto existing = module ? printerDevmode(name) : std::nullopt;
    setup.defaultDevmode = existing ? *existing : DevmodeBuilder().str();
    platform::installPrinter(setup);
    *installed = true;
}

bool writeSheets(const std::string& stream, const fs::path& folder, bool quiet, std::string* why) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        *why = "cannot make " + folder.string() + ": " + ec.message();
        return false;
    }
    auto bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    rastrel_dump::Result result = rastrel_dump::parse(bytes);
    if (result.error) {
        *why = "the job stream does not read back: " + rastrel_dump::describe(*result.error);
        return false;
    }
    for (const rastrel_dump::Sheet& sheet : result.sheets) {
        std::string path = rastrel_dump::image_file_name((folder / "sheet").string(), sheet, rastrel_dump::ImageFormat::kPng);
        if (!rastrel_dump::write_image(path, sheet, sheet.bits, rastrel_dump::ImageFormat::kPng, why)) return false;
        if (!quiet)
            std::printf("sheet %d: %u x %u pixels, %u bit%s a pixel -> %s\n", sheet.number, sheet.width_pixels,
                        sheet.height, sheet.bits_per_pixel, sheet.bits_per_pixel == 1 ? "" : "s", path.c_str());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    prepareHeapForPages();
    std::vector<std::string> inputs;
    std::optional<std::string> output, pngFolder, machineDir, title;
    fs::path driver = platform::testing::builtModule("Rastrel.so");
    std::u16string printerName = u"Rastrel Printer";
    bool quiet = false;
    DrawOptions drawOptions;
    PrintSettings settings;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < argc) return std::string(argv[++i]);
            return std::nullopt;
        };
        auto needs = [&](std::optional<std::string>* into) {
            *into = value();
            return into->has_value();
        };
        if (arg == "-h" || arg == "--help") {
            usageText(stdout);
            return 0;
        } else if (arg == "-o") {
            if (!needs(&output)) return usageError("-o needs a file");
        } else if (arg == "--png") {
            if (!needs(&pngFolder)) return usageError("--png needs a folder");
        } else if (arg == "--machine") {
            if (!needs(&machineDir)) return usageError("--machine needs a folder");
        } else if (arg == "--title") {
            if (!needs(&title)) return usageError("--title needs a text");
        } else if (arg == "--driver") {
            std::optional<std::string> path;
            if (!needs(&path)) return usageError("--driver needs a file");
            driver = *path;
        } else if (arg == "--printer") {
            std::optional<std::string> name;
            if (!needs(&name) || name->empty()) return usageError("--printer needs a name");
            printerName = platform::fromUtf8(*name);
        } else if (arg == "-q" || arg == "--quiet") {
            quiet = true;
        } else if (arg == "--fit") {
            drawOptions.fitPdf = true;
        } else if (auto takes = settingTakesValue(arg)) {
            std::optional<std::string> v;
            if (*takes && !needs(&v)) return usageError(arg + " needs a value");
            if (!*takes && inlineValue) return usageError(arg + " takes no value");
            std::string why;
            if (!takeSetting(arg, v ? std::optional<std::string_view>(*v) : std::nullopt, &settings, &why))
                return usageError(why);
        } else if (arg == "-") {
            return usageError("inputs are files; standard input is not read");
        } else if (arg.size() > 1 && arg[0] == '-' && !inlineValue) {
            return usageError("unknown option " + arg);
        } else if (inlineValue) {
            return usageError("unknown option " + arg);
        } else {
            inputs.push_back(arg);
        }
    }
    if (auto conflict = settingsConflict(settings)) return usageError(*conflict);
    if (inputs.empty()) return usageError("no input to print");

    // Every input is read and checked before anything is printed.
    FontCache fonts;
    std::vector<Input> loaded;
    std::vector<std::string> errors;
    // A file named more than once is read once: its copies share the pictures and the document.
    std::map<std::string, size_t> readBefore;
    for (const std::string& path : inputs) {
        if (auto at = readBefore.find(path); at != readBefore.end()) {
            loaded.push_back(loaded[at->second]);
            continue;
        }
        if (auto input = loadInput(path, fonts, &errors)) {
            readBefore[path] = loaded.size();
            loaded.push_back(std::move(*input));
        }
    }
    if (!errors.empty()) {
        for (const std::string& e : errors) std::fprintf(stderr, "rastrel-print: %s\n", e.c_str());
        return 1;
    }
    int total = 0;
    for (const Input& input : loaded) total += input.pages();
    if (total == 0) return failure("the inputs hold no pages");
    // The watermark picture is checked as the driver will check it: one it would pass over without
    // a mark stops the job here.
    std::string watermarkPicture;
    if (settings.watermarkImage) {
        std::string reason;
        auto file = FileBytes::open(*settings.watermarkImage, &reason, bitmapFileBound);
        if (!file) return failure("cannot read the watermark picture " + *settings.watermarkImage);
        const std::string_view bytes = file->view();
        LONG width = 0, height = 0;
        // Bytes past the bound make the file longer than its header says, which the check refuses.
        if (const char* why = CheckBitmapFile(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), &width,
                                              &height))
            return failure("the watermark picture " + *settings.watermarkImage + " is not a sound BMP file: " + why);
        if (file->changed()) return failure("the watermark picture " + *settings.watermarkImage + ": " + kFileChanged);
        watermarkPicture = std::string(bytes);
    }

    std::error_code ec;
    if (!fs::is_regular_file(driver, ec)) return failure("no driver module at " + driver.string());
    std::optional<platform::testing::Machine> fresh;
    try {
        if (machineDir)
            platform::useMachineRoot(*machineDir);
        else if (!std::getenv("PLATFORM_MACHINE"))
            fresh.emplace();
    } catch (const std::exception& e) {
        return failure(std::string("cannot set up the machine: ") + e.what());
    }

    try {
        bool installed = false;
        ensurePrinter(printerName, driver, &installed);
        auto devmodeBytes = printerDevmode(printerName);
        DevmodeBuilder devmode = devmodeBytes ? DevmodeBuilder(*devmodeBytes) : DevmodeBuilder();
        if (settings.watermarkImage) {
            // The driver reads the picture from the machine: it goes there first.
            settings.watermarkImageOnMachine = u"C:\\ProgramData\\rastrel-print-watermark.bmp";
            auto host = platform::hostPath(settings.watermarkImageOnMachine);
            std::ofstream copy(*host, std::ios::binary);
            copy.write(watermarkPicture.data(), static_cast<std::streamsize>(watermarkPicture.size()));
            if (!copy) return failure("cannot place the watermark picture in the machine");
        }
        applySettings(settings, devmode);
        if (auto problem = spoolLimitProblem(devmode, total)) return failure(*problem);

        platform::printing::PrinterDevice device(printerName, devmode.devmode());
        const auto& caps = device.caps();
        if (!quiet) {
            std::printf("machine %s, printer \"%s\"%s\n", platform::machineRoot().c_str(),
                        platform::toUtf8(printerName).c_str(), installed ? " (installed)" : "");
            std::printf("device: page %d x %d pixels at %u dpi, paper %d x %d, surface %d x %d%s\n", caps.printable.cx,
                        caps.printable.cy, caps.dpiX, caps.physical.cx, caps.physical.cy, caps.surface.cx,
                        caps.surface.cy, caps.banded ? ", banded" : "");
        }
        std::string docName = title ? *title : fs::path(inputs[0]).filename().string();
        // PDF pages are rendered ahead on another thread while the driver works on the current page,
        // each whole, into the thread's one page bitmap (two page-sized planes, grey and coverage):
        // one thread keeps the pages in flight to that bitmap and the driver's page buffers.
        const int workers = 1;
        PagesAhead ahead(loaded, caps, drawOptions, workers, workers);
        drawOptions.ahead = &ahead;
        if (!device.startDoc(platform::fromUtf8(docName))) return failure(device.lastError());
        int number = 0;
        for (const Input& input : loaded) {
            for (int index = 0; index < input.pages(); ++index) {
                ++number;
                std::string why;
                bool ok = device.startPage();
                if (!ok) why = device.lastError();
                if (ok && !drawPage(device, input, index, number, total, fonts, drawOptions, &why)) ok = false;
                if (ok && !device.endPage()) {
                    ok = false;
                    why = input.path + (input.pages() > 1 ? ", page " + std::to_string(index + 1) : "") + ": " +
                          device.lastError();
                }
                // A picture drawn from its file's own bytes: a file cut short while the page was drawn
                // gave zeros for the lost part, and the job is not let through with them.
                if (ok && input.pending && !input.pending->intact()) {
                    ok = false;
                    why = input.path + ": " + kFileChanged;
                }
                if (!ok) {
                    device.endDoc(true);
                    return failure("page " + std::to_string(number) + ": " + why + " (job cancelled)");
                }
                if (!quiet) {
                    std::printf("page %d/%d: %s", number, total, input.path.c_str());
                    if (input.pages() > 1) std::printf(" page %d", index + 1);
                    if (device.lastPageBands() > 1) std::printf(" (%d bands)", device.lastPageBands());
                    std::printf("\n");
                    std::fflush(stdout);
                }
            }
        }
        if (!device.endDoc()) return failure(device.lastError());

        std::string stream;
        bool found = false;
        for (const platform::JobRecord& job : platform::printJobs())
            if (job.id == device.jobId()) {
                stream = job.bytes;
                found = true;
            }
        if (!found) return failure("the spooler has no job " + std::to_string(device.jobId()));
        if (!quiet) std::printf("job %u: %d page%s, %zu bytes\n", device.jobId(), total, total == 1 ? "" : "s", stream.size());
        if (output) {
            std::error_code ec;
            if (fs::path parent = fs::path(*output).parent_path(); !parent.empty()) fs::create_directories(parent, ec);
            std::ofstream out(*output, std::ios::binary);
            out.write(stream.data(), static_cast<std::streamsize>(stream.size()));
            out.close();
            if (!out) return failure("cannot write " + *output);
            if (!quiet) std::printf("job stream -> %s\n", output->c_str());
        }
        if (pngFolder) {
            std::string why;
            if (!writeSheets(stream, *pngFolder, quiet, &why)) return failure(why);
        }
    } catch (const std::exception& e) {
        return failure(e.what());
    }
    return 0;
}
