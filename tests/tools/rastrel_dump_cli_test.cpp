// The rastrel-dump program: files it writes, exit codes, and a second opinion from jbgtopbm.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include "tools/support/rastrel_dump_streams.h"

namespace {

using namespace rastrel_dump_test;

const std::string kTool = std::string(MFP_BIN_DIR) + "/rastrel-dump";

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome run(const std::string& args, const std::string& folder) {
  const std::string out = folder + "/stdout", err = folder + "/stderr";
  const int rc = std::system(("cd '" + folder + "' && '" + kTool + "' " + args + " >'" + out +
                              "' 2>'" + err + "'").c_str());
  Outcome r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  const Bytes o = read_file(out), e = read_file(err);
  r.out.assign(o.begin(), o.end());
  r.err.assign(e.begin(), e.end());
  return r;
}

Bytes netpbm(const std::string& magic, uint32_t w, uint32_t h, const Bytes& pixels) {
  const std::string head = magic + "\n" + std::to_string(w) + " " + std::to_string(h) + "\n" +
                           (magic == "P5" ? "255\n" : "");
  Bytes out(head.begin(), head.end());
  append(out, pixels);
  return out;
}

// Grey pixels of a 2-bit image (rows of w / 4 bytes).
Bytes grey_of(const Bytes& bits, uint32_t w, uint32_t h) {
  Bytes grey;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      grey.push_back(uint8_t(255 - 85 * ((bits[y * (w / 4) + x / 4] >> (6 - 2 * (x % 4))) & 3)));
  return grey;
}

// 8-bit grey pixels of a grey PNG of depth 1 or 8, read with libpng.
Bytes png_pixels(const std::string& path, uint32_t* w, uint32_t* h, int* depth) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  *w = image.width;
  *h = image.height;
  image.format = PNG_FORMAT_GRAY;
  Bytes pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  uint8_t ihdr[25] = {};
  if (f) {
    EXPECT_EQ(std::fread(ihdr, 1, sizeof ihdr, f), sizeof ihdr);
    std::fclose(f);
  }
  *depth = ihdr[24];
  return pixels;
}

class RastrelDumpCli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = temp_folder("cli");
    write_file(folder + "/job.prn", job({one, two}, 2));
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  std::string folder;
  const TestSheet one{96, 140, 1, 9, noise(12 * 140, 11, 30), {}};
  const TestSheet two{64, 130, 2, 9, noise(16 * 130, 12, 50), {}};
};

TEST_F(RastrelDumpCli, WritesNetpbmRawAndPng) {
  std::filesystem::create_directory(folder + "/out");
  Outcome r = run("--pbm -o out/sheet job.prn", folder);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(folder + "/out/sheet-001.pbm"), netpbm("P4", 96, 140, one.bits));
  EXPECT_EQ(read_file(folder + "/out/sheet-002.pgm"), netpbm("P5", 64, 130, grey_of(two.bits, 64, 130)));

  r = run("--raw job.prn", folder);  // prefix from the stream name
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(folder + "/job-001.raw"), one.bits);
  EXPECT_EQ(read_file(folder + "/job-002.raw"), two.bits);

  r = run("-o p job.prn", folder);  // PNG by default
  ASSERT_EQ(r.status, 0) << r.err;
  uint32_t w = 0, h = 0;
  int depth = 0;
  Bytes expected;
  for (uint32_t y = 0; y < 140; ++y)
    for (uint32_t x = 0; x < 96; ++x)
      expected.push_back((one.bits[y * 12 + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255);
  EXPECT_EQ(png_pixels(folder + "/p-001.png", &w, &h, &depth), expected);
  EXPECT_EQ(w, 96u);
  EXPECT_EQ(h, 140u);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(png_pixels(folder + "/p-002.png", &w, &h, &depth), grey_of(two.bits, 64, 130));
  EXPECT_EQ(w, 64u);
  EXPECT_EQ(depth, 8);
}

TEST_F(RastrelDumpCli, ListsChunksAndItems) {
  const Outcome r = run("--list job.prn", folder);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* line : {"job start (0x11)", "start doc (0x00)", "item 1 = 0  item 2 = 1",
                           "XD 96  YD 140  L0 128  order 3  options 0x5c", "pause (0x0b)",
                           "bits per pixel", "2 sheets, pause after sheet 1"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " not in\n" << r.out;
  EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(RastrelDumpCli, ExitCodes) {
  Bytes bad = read_file(folder + "/job.prn");
  bad[16] = 0x12;  // job start type
  write_file(folder + "/bad.prn", bad);
  Outcome r = run("--png bad.prn", folder);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad.prn: offset 13 (0xd), chunk 1, no sheet: job start (0x11) size is"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(folder + "/bad-001.png"));

  EXPECT_EQ(run("", folder).status, 2);
  EXPECT_EQ(run("--png --raw job.prn", folder).status, 2);
  EXPECT_EQ(run("--bogus job.prn", folder).status, 2);
  EXPECT_EQ(run("missing.prn", folder).status, 2);
  EXPECT_EQ(run("-o no/such/folder/x job.prn", folder).status, 2);
  r = run("--help", folder);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("usage: rastrel-dump"), std::string::npos);
  EXPECT_EQ(run("--list - < job.prn", folder).status, 0);
}

// JBIG-KIT's own command-line decoder, fed the BIH and the BID data (padding and all) of each
// sheet as a .jbg file, sees the same images as rastrel-dump.
TEST_F(RastrelDumpCli, JbgtopbmAgrees) {
  ASSERT_EQ(run("--raw -o mine job.prn", folder).status, 0);
  for (const auto& [n, sheet] : {std::pair<int, const TestSheet*>{1, &one}, {2, &two}}) {
    const uint32_t xd = sheet->width_pixels * sheet->bits_per_pixel;
    Bytes bie = bih(xd, sheet->height);
    for (const Bytes& piece : bid_pieces(jbig_stripes(sheet->bits, xd, sheet->height)))
      append(bie, piece);
    const std::string base = folder + "/sheet" + std::to_string(n);
    write_file(base + ".jbg", bie);
    ASSERT_EQ(std::system(("jbgtopbm '" + base + ".jbg' '" + base + ".pbm'").c_str()), 0);

    // jbgtopbm pads the numbers of its header with spaces.
    const Bytes pbm = read_file(base + ".pbm");
    const std::string text(pbm.begin(), pbm.end());
    std::istringstream head(text);
    std::string magic;
    uint32_t w = 0, h = 0;
    head >> magic >> w >> h;
    ASSERT_EQ(magic, "P4");
    EXPECT_EQ(w, xd);
    EXPECT_EQ(h, sheet->height);
    const std::size_t data = std::size_t(head.tellg()) + 1;
    EXPECT_EQ(Bytes(pbm.begin() + data, pbm.end()),
              read_file(folder + "/mine-00" + std::to_string(n) + ".raw"));
  }
}

}  // namespace
