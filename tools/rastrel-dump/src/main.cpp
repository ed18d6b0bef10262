// rastrel-dump: checks a printer job stream, lists its chunks and page items, and writes the
// decoded image of each sheet.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "rastrel_dump/images.h"
#include "rastrel_dump/stream.h"

namespace {

constexpr const char* kUsage =
    "usage: rastrel-dump [--list] [--png|--pbm|--raw] [-o PREFIX] STREAM\n"
    "\n"
    "Checks a printer job stream strictly and decodes the JBIG image of every sheet.\n"
    "On the first fault it names the byte offset, the chunk and the sheet, and exits 1.\n"
    "\n"
    "  --list      list every chunk, and the start-page items of every sheet\n"
    "  --png       write each sheet as PREFIX-NNN.png (1-bit grey, or 8-bit grey for\n"
    "              2-bit sheets: grey = 255 - 85 x level)\n"
    "  --pbm       write each sheet as PREFIX-NNN.pbm (P4), or PREFIX-NNN.pgm (P5) for\n"
    "              2-bit sheets\n"
    "  --raw       write the decoded packed bits of each sheet as PREFIX-NNN.raw\n"
    "              (rows of ceil(width in bits / 8) bytes, first pixel in the top bits)\n"
    "  -o PREFIX   file name prefix (default: STREAM without its extension, in the\n"
    "              current folder); -o without a format writes PNG\n"
    "  -h, --help  this text\n"
    "\n"
    "STREAM may be - for standard input. Sheets are numbered from 001 in stream order.\n"
    "Exit status: 0 well-formed, 1 malformed stream, 2 usage or I/O error.\n";

int usage_error(const std::string& message) {
  std::cerr << "rastrel-dump: " << message << "\n" << kUsage;
  return 2;
}

std::optional<std::vector<uint8_t>> read_stream(const std::string& path, std::string* why) {
  std::vector<uint8_t> data;
  if (path == "-") {
    std::cin >> std::noskipws;
    data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    if (std::cin.bad()) {
      *why = "cannot read standard input";
      return std::nullopt;
    }
    return data;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = std::string("cannot open: ") + std::strerror(errno);
    return std::nullopt;
  }
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *why = "read error";
    return std::nullopt;
  }
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  bool list = false;
  std::optional<rastrel_dump::ImageFormat> format;
  std::optional<std::string> prefix;
  std::optional<std::string> stream_path;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto set_format = [&](rastrel_dump::ImageFormat f) {
      if (format && *format != f) return false;
      format = f;
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--list") {
      list = true;
    } else if (arg == "--png") {
      if (!set_format(rastrel_dump::ImageFormat::kPng)) return usage_error("choose one format");
    } else if (arg == "--pbm") {
      if (!set_format(rastrel_dump::ImageFormat::kPbm)) return usage_error("choose one format");
    } else if (arg == "--raw") {
      if (!set_format(rastrel_dump::ImageFormat::kRaw)) return usage_error("choose one format");
    } else if (arg == "-o") {
      if (i + 1 >= argc) return usage_error("-o needs a prefix");
      prefix = argv[++i];
      if (prefix->empty()) return usage_error("-o needs a prefix");
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage_error("unknown option " + arg);
    } else {
      if (stream_path) return usage_error("one stream at a time");
      stream_path = arg;
    }
  }
  if (!stream_path) return usage_error("no stream given");
  if (prefix && !format) format = rastrel_dump::ImageFormat::kPng;
  if (format && !prefix)
    prefix = *stream_path == "-" ? std::string("stream")
                                 : std::filesystem::path(*stream_path).stem().string();

  std::string why;
  const std::optional<std::vector<uint8_t>> data = read_stream(*stream_path, &why);
  if (!data) {
    std::cerr << "rastrel-dump: " << *stream_path << ": " << why << "\n";
    return 2;
  }

  std::string write_error;
  rastrel_dump::Options options;
  options.keep_images = false;
  if (format)
    options.on_sheet = [&](const rastrel_dump::Sheet& sheet, std::span<const uint8_t> bits) {
      const std::string path = rastrel_dump::image_file_name(*prefix, sheet, *format);
      return rastrel_dump::write_image(path, sheet, bits, *format, &write_error);
    };

  const rastrel_dump::Result result = rastrel_dump::parse(*data, options);
  if (list) std::cout << rastrel_dump::listing(result) << std::flush;
  if (result.stopped) {
    std::cerr << "rastrel-dump: " << write_error << "\n";
    return 2;
  }
  if (result.error) {
    std::cerr << "rastrel-dump: " << *stream_path << ": " << rastrel_dump::describe(*result.error)
              << "\n";
    return 1;
  }
  return 0;
}
