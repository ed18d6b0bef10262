// The job stream byte for byte, the JBIG pages it carries, and a round trip through the reader.
#include <cstdio>
#include <fstream>
#include <random>
#include <tuple>

#include "raster.h"
#include "support/job_fixture.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

const std::string kUel = Bytes({0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58});

class StreamTest : public JobTest {};

TEST_F(StreamTest, JobBeginsAndEndsWithTheFixedBytes) {
    DriverPdev* pdev = Device(SmallPaper());
    ASSERT_TRUE(BeginJob(pdev));
    std::string job = JobBytes();
    std::string expected = kUel + "JZJZ" +
                           Bytes({0, 0, 0, 0x58, 0, 0, 0, 0x11, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A});
    for (int v : {0, 81, 115, 110, 150, 122, 100, 150, 200, 100, 81, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                  100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100})
        expected += Bytes({v >> 8, v & 0xFF});
    expected += Bytes({0, 0, 0, 0x28, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0x18, 0x5A, 0x5A});
    expected += Bytes({0, 0, 0, 0x0C, 0, 1, 1, 0, 0, 0, 0, 0});
    expected += Bytes({0, 0, 0, 0x0C, 0, 2, 1, 0, 0, 0, 0, 1});
    EXPECT_EQ(job, expected);
    EXPECT_EQ(job.substr(13 + 16, 6), Bytes({0, 0, 0, 0x51, 0, 0x73}));

    Mark(pdev, 1);
    ASSERT_TRUE(FlushPage(pdev, kFlushEndOfPage));
    ASSERT_TRUE(FinishJob(pdev));
    job = JobBytes();
    EXPECT_EQ(job.substr(job.size() - 25), Bytes({0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A}) + kUel);
    // The sheet: start page, BIH, BIDs, end JBIG, end page.
    rastrel_dump::Result result = Read(job);
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    EXPECT_EQ(result.sheets.size(), 1u);
    EXPECT_EQ(job.find("PJL"), std::string::npos);
}

TEST_F(StreamTest, StartPageItemsOfEachKindOfPage) {
    using Items = std::vector<std::pair<uint16_t, uint32_t>>;
    struct Case {
        const char* what;
        DevmodeBuilder settings;
        uint32_t chunkSize;
        Items items;
    } cases[] = {
        {"A4 at 600 dpi", DevmodeBuilder(), 184,
         {{4, 1}, {6, 1}, {3, 9}, {7, 1}, {12, 4736}, {13, 6784}, {8, 600}, {9, 600}, {22, 1}, {5, 0}, {17, 4736},
          {18, 6784}, {16, 1}, {0xFF00, 4}}},
        {"A4 at 1200 dpi, 2 copies from the upper tray", DevmodeBuilder().quality(1200).copies(2).source(DMBIN_UPPER),
         184,
         {{4, 2}, {6, 1}, {3, 9}, {7, 1}, {12, 9472}, {13, 6784}, {8, 600}, {9, 600}, {22, 1}, {5, 2}, {17, 4736},
          {18, 6784}, {16, 2}, {0xFF00, 4}}},
        {"custom paper", DevmodeBuilder().paper(300).customSize(700, 2970).density(0).mediaType(7), 220,
         {{4, 1}, {6, 7}, {3, 0}, {7, 1}, {12, 4736}, {13, 6784}, {8, 600}, {9, 600}, {22, 1}, {5, 0}, {17, 4736},
          {18, 6784}, {16, 1}, {24, 4960}, {25, 7015}, {26, 0}, {0xFF00, 0}}},
        {"A5 with paper option 2 and manual feed", DevmodeBuilder().paper(DMPAPER_A5).paperOption(2).source(DMBIN_MANUAL),
         184,
         {{4, 1}, {6, 1}, {3, 61}, {7, 1}, {12, 4736}, {13, 3264}, {8, 600}, {9, 600}, {22, 1}, {5, 1}, {17, 4736},
          {18, 3264}, {16, 1}, {0xFF00, 4}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        DriverPdev* pdev = Device(c.settings);
        ASSERT_TRUE(PrintSheets(pdev, 1));
        rastrel_dump::Result result = Read(JobBytes());
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        ASSERT_EQ(result.sheets.size(), 1u);
        Items items;
        for (const auto& item : result.sheets[0].items) items.emplace_back(item.id, item.value);
        EXPECT_EQ(items, c.items);
        auto start = std::find_if(result.chunks.begin(), result.chunks.end(),
                                  [](const auto& chunk) { return chunk.type == rastrel_dump::kStartPage; });
        ASSERT_NE(start, result.chunks.end());
        EXPECT_EQ(start->size, c.chunkSize);
        EXPECT_EQ(result.sheets[0].bih.xd, c.items[4].second);
    }
}

TEST_F(StreamTest, RasterTooWideForTheHeaderFailsThePage) {
    DriverPdev* pdev = Device(SmallPaper());
    ASSERT_TRUE(BeginJob(pdev));
    size_t before = JobBytes().size();
    StreamSink sink = SinkFor(pdev);
    PageHeader header = PageHeaderFor(pdev, 40000, 100, 40000, 100);
    header.bitsPerPixel = 2;  // 80000 bits do not fit 16 bits
    EXPECT_FALSE(WritePageHeader(&sink, &header));
    header = PageHeaderFor(pdev, 100, 70000, 100, 70000);
    EXPECT_FALSE(WritePageHeader(&sink, &header));
    EXPECT_EQ(JobBytes().size(), before);
}

TEST_F(StreamTest, EncodedDataIsCutIntoPaddedBidChunks) {
    struct Case {
        size_t length;
        std::vector<uint32_t> chunkSizes;
    } cases[] = {
        {65536, {65552}},
        {100, {144}},
        {96, {144}},
        {131080, {65552, 65552, 48}},
        {65504 + 31, {65552}},  // the rest pads up to exactly 65536
        {1, {48}},
    };
    DriverPdev* pdev = Device(SmallPaper());
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "N = " << c.length);
        size_t before = JobBytes().size();
        std::string data(c.length, '\0');
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(1 + i % 250);  // never zero
        StreamSink sink = SinkFor(pdev);
        ASSERT_TRUE(WriteBidChunks(&sink, reinterpret_cast<const BYTE*>(data.data()), data.size()));
        std::string out = JobBytes().substr(before);
        std::vector<uint32_t> sizes;
        std::string carried;
        size_t at = 0;
        while (at + 16 <= out.size()) {
            uint32_t size = (uint8_t(out[at]) << 24) | (uint8_t(out[at + 1]) << 16) | (uint8_t(out[at + 2]) << 8) |
                            uint8_t(out[at + 3]);
            EXPECT_EQ(out.substr(at + 4, 12), Bytes({0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A}));
            sizes.push_back(size);
            carried += out.substr(at + 16, size - 16);
            at += size;
        }
        EXPECT_EQ(at, out.size());
        EXPECT_EQ(sizes, c.chunkSizes);
        EXPECT_EQ(carried.substr(0, c.length), data);
        EXPECT_EQ(carried.find_first_not_of('\0', c.length), std::string::npos);  // padding is zeros
    }
}

// Screened rasters come back from the stream bit for bit.
TEST_F(StreamTest, SheetsRoundTripBitForBitAt600And1200Dpi) {
    std::mt19937 random(7);
    for (int16_t dpi : {600, 1200}) {
        SCOPED_TRACE(testing::Message() << dpi << " dpi");
        Restart();
        DriverPdev* pdev = Device(SmallPaper().quality(dpi));
        LONG w = pdev->sheetWidth, h = pdev->sheetHeight;
        // Grey ramps with noise and a few solid blocks.
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x)
                pdev->sheetBuffer[SIZE_T(y) * w + x] =
                    (x / 200 + y / 300) % 5 == 0 ? 0 : static_cast<BYTE>((x + y) % 256 ^ (random() & 15));
        std::vector<BYTE> expected(SIZE_T(w) * h * (dpi == 1200 ? 2 : 1) / 8);
        HalftonePage(pdev->sheetBuffer, w, h, expected.data(), dpi);
        ASSERT_TRUE(BeginJob(pdev));
        ASSERT_TRUE(EncodeAndSendPage(pdev, FALSE));
        ASSERT_TRUE(FinishJob(pdev));
        std::string job = JobBytes();
        rastrel_dump::Result result = Read(job);
        ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
        ASSERT_EQ(result.sheets.size(), 1u);
        EXPECT_EQ(result.sheets[0].bits_per_pixel, dpi == 1200 ? 2u : 1u);
        EXPECT_GT(result.sheets[0].bid_chunks, 1u);
        ASSERT_EQ(result.sheets[0].bits.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), result.sheets[0].bits.begin()));

        if (dpi == 600) {
            // JBIG-KIT's own decoder agrees: the BIH chunk's BIH, then the data of the BID chunks.
            std::string jbg;
            for (const auto& chunk : result.chunks) {
                if (chunk.type == rastrel_dump::kJbigBih) jbg += job.substr(chunk.offset + 16, 20);
                if (chunk.type == rastrel_dump::kJbigBid) jbg += job.substr(chunk.offset + 16, chunk.data_bytes);
            }
            std::string dir = machine_.root().string();
            std::ofstream(dir + "/sheet.jbg", std::ios::binary) << jbg;
            ASSERT_EQ(std::system(("jbgtopbm " + dir + "/sheet.jbg " + dir + "/sheet.pbm").c_str()), 0);
            std::ifstream pbm(dir + "/sheet.pbm", std::ios::binary);
            std::string magic;
            LONG pw = 0, ph = 0;
            pbm >> magic >> pw >> ph;
            pbm.get();
            std::string pixels((std::istreambuf_iterator<char>(pbm)), std::istreambuf_iterator<char>());
            EXPECT_EQ(magic, "P4");
            EXPECT_EQ(pw, w);
            EXPECT_EQ(ph, h);
            EXPECT_EQ(pixels, std::string(expected.begin(), expected.end()));
        }
    }
}

TEST_F(StreamTest, BlankNoiseAndTinyImagesEncode) {
    DriverPdev* pdev = Device(SmallPaper());
    ASSERT_TRUE(BeginJob(pdev));
    // A blank sheet still has its BIH and a BID chunk.
    ASSERT_TRUE(EncodeAndSendPage(pdev, TRUE));
    // Noise encodes to more than its raw size, and a 32 x 1 raster to more than its 4 bytes: the
    // encoder's output grows for them.
    std::mt19937 random(3);
    std::vector<BYTE> noise(SIZE_T(1024) * 64 / 8);
    for (auto& b : noise) b = static_cast<BYTE>(random());
    std::vector<BYTE> tiny = {0xF0, 0x0F, 0xAA, 0x55};
    StreamSink sink = SinkFor(pdev);
    for (auto [raster, width, height] : {std::tuple{&noise, 1024u, 64u}, std::tuple{&tiny, 32u, 1u}}) {
        JbigOutput out{};
        PageImage image{width, height, raster->data(), &sink};
        EXPECT_GT(JbigEncodeImage(&image, &out), raster->size());
        HeapFree(GetProcessHeap(), 0, out.data);
        PageHeader header = PageHeaderFor(pdev, width, height, width, height);
        ASSERT_TRUE(WritePageHeader(&sink, &header));
        ASSERT_TRUE(WritePageImage(&image));
        ASSERT_TRUE(WritePageEnd(&sink));
    }
    ASSERT_TRUE(FinishJob(pdev));
    rastrel_dump::Result result = Read(JobBytes());
    ASSERT_TRUE(result.ok()) << rastrel_dump::describe(*result.error);
    ASSERT_EQ(result.sheets.size(), 3u);
    EXPECT_GE(result.sheets[0].bid_chunks, 1u);
    EXPECT_TRUE(std::all_of(result.sheets[0].bits.begin(), result.sheets[0].bits.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(result.sheets[1].bits, std::vector<uint8_t>(noise.begin(), noise.end()));
    EXPECT_EQ(result.sheets[2].bits, std::vector<uint8_t>(tiny.begin(), tiny.end()));
}

}  // namespace
