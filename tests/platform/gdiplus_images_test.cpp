// GDI+ start-up and pictures loaded from streams and files: sizes, resolutions, formats, refusals.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing/machine.h"
#include "support/bitmap_files.h"
#include "win/files.h"
#include "win/gdiplus.h"

namespace {

using platform::testing::Machine;

struct Started {
    Started() {
        GdiplusStartupInput input;
        EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    }
    ~Started() { GdiplusShutdown(token); }
    ULONG_PTR token = 0;
};

GpStatus load(const std::string& bytes, GpImage** image) {
    IStream* stream = bitmap_files::Stream(bytes);
    GpStatus status = GdipLoadImageFromStream(stream, image);
    stream->Release();
    return status;
}

TEST(GdiplusStartUp, NothingWorksBeforeItAndOnlyVersionOne) {
    Machine machine;
    GpImage* image = nullptr;
    EXPECT_EQ(load(bitmap_files::Make(4, 4, 24), &image), GdiplusNotInitialized);
    UINT count = 0, size = 0;
    EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), GdiplusNotInitialized);
    GdiplusStartupInput input;
    input.GdiplusVersion = 2;
    ULONG_PTR token = 0;
    EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), UnsupportedGdiplusVersion);
    {
        Started outer, inner;  // counted: the inner shut-down leaves it running
    }
    EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), GdiplusNotInitialized);
}

TEST(GdiplusImages, SizeResolutionAndFormatOfBitmaps) {
    Machine machine;
    Started gdiplus;
    struct Case {
        int bits;
        int32_t pixelsPerMetre;
        bool bottomUp;
        PixelFormat format;
        REAL dpi;
    };
    const Case cases[] = {
        {1, 11811, false, PixelFormat1bppIndexed, 11811 * 0.0254f},  // 299.9994, as GDI+ reports it
        {8, 2952, true, PixelFormat8bppIndexed, 2952 * 0.0254f},
        {24, 23622, false, PixelFormat24bppRGB, 23622 * 0.0254f},
        {32, 0, true, PixelFormat32bppRGB, 96},  // no resolution in the file
    };
    for (const Case& c : cases) {
        GpImage* image = nullptr;
        ASSERT_EQ(load(bitmap_files::Make(37, 11, c.bits, c.pixelsPerMetre, c.bottomUp), &image), Ok) << c.bits;
        UINT width = 0, height = 0;
        REAL x = 0, y = 0;
        PixelFormat format = 0;
        EXPECT_EQ(GdipGetImageWidth(image, &width), Ok);
        EXPECT_EQ(GdipGetImageHeight(image, &height), Ok);
        EXPECT_EQ(GdipGetImageHorizontalResolution(image, &x), Ok);
        EXPECT_EQ(GdipGetImageVerticalResolution(image, &y), Ok);
        EXPECT_EQ(GdipGetImagePixelFormat(image, &format), Ok);
        EXPECT_EQ(width, 37u);
        EXPECT_EQ(height, 11u);
        EXPECT_FLOAT_EQ(x, c.dpi);
        EXPECT_FLOAT_EQ(y, c.dpi);
        EXPECT_EQ(format, c.format) << c.bits;
        EXPECT_EQ(GdipDisposeImage(image), Ok);
    }
    EXPECT_FLOAT_EQ(11811 * 0.0254f, 299.9994f);
}

TEST(GdiplusImages, DamagedPicturesAreRefused) {
    Machine machine;
    Started gdiplus;
    const std::string good = bitmap_files::Make(40, 10, 8);
    auto with = [&](size_t at, char value) {
        std::string bytes = good;
        bytes[at] = value;
        return bytes;
    };
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"rows cut short", good.substr(0, good.size() - 1)},
        {"the info header cut", good.substr(0, 30)},
        {"a palette larger than the depth", with(46, 0x02)},  // biClrUsed 512
        {"no width", with(18, 0)},
        {"four bits", with(28, 4)},
        {"compressed", with(30, 1)},
        {"the rows inside the headers", with(11, 0).replace(10, 1, "\x10")},  // bfOffBits 16
        {"no picture", "hello"},
        {"a PNG signature and nothing else", "\x89PNG\r\n\x1a\n"},
        {"a JPEG start and nothing else", "\xFF\xD8\xFF\xE0"},
    };
    for (const Case& c : cases) {
        GpImage* image = reinterpret_cast<GpImage*>(1);
        EXPECT_EQ(load(c.bytes, &image), UnknownImageFormat) << c.name;
        EXPECT_EQ(image, nullptr) << c.name;
    }
    GpImage* image = nullptr;
    EXPECT_EQ(GdipLoadImageFromFile(u"C:\\missing.bmp", &image), FileNotFound);
    EXPECT_EQ(GdipDisposeImage(reinterpret_cast<GpImage*>(&image)), InvalidParameter);  // not an image of ours
}

}  // namespace
