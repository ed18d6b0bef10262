// GDI+'s encoder list and saving pictures: what each encoder keeps of a picture, and how saving fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/testing/machine.h"
#include "support/bitmap_files.h"
#include "win/files.h"
#include "win/gdiplus.h"

namespace {

using platform::testing::Machine;

struct Encoders : ::testing::Test {
    Encoders() {
        GdiplusStartupInput input;
        GdiplusStartup(&token, &input, nullptr);
        UINT count = 0, size = 0;
        EXPECT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
        list.resize(size);
        auto* codecs = reinterpret_cast<ImageCodecInfo*>(list.data());
        EXPECT_EQ(GdipGetImageEncoders(count, size, codecs), Ok);
        for (UINT i = 0; i < count; ++i) {
            mimeTypes.emplace_back(codecs[i].MimeType);
            clsids.push_back(codecs[i].Clsid);
        }
    }
    ~Encoders() override { GdiplusShutdown(token); }
    const CLSID& clsidOf(std::u16string_view mime) const {
        for (size_t i = 0; i < mimeTypes.size(); ++i)
            if (mimeTypes[i] == mime) return clsids[i];
        static CLSID none{};
        return none;
    }
    GpImage* picture(int bits, int32_t pixelsPerMetre = 5905) const {
        GpImage* image = nullptr;
        IStream* stream = bitmap_files::Stream(bitmap_files::Make(30, 20, bits, pixelsPerMetre));
        EXPECT_EQ(GdipLoadImageFromStream(stream, &image), Ok);
        stream->Release();
        return image;
    }
    Machine machine;
    ULONG_PTR token = 0;
    std::vector<BYTE> list;
    std::vector<std::u16string> mimeTypes;
    std::vector<CLSID> clsids;
};

TEST_F(Encoders, ExactlyFiveMimeTypes) {
    EXPECT_EQ(mimeTypes,
              (std::vector<std::u16string>{u"image/bmp", u"image/jpeg", u"image/gif", u"image/tiff", u"image/png"}));
    UINT count = 0, size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<BYTE> small(size);
    EXPECT_EQ(GdipGetImageEncoders(count, size - 1, reinterpret_cast<ImageCodecInfo*>(small.data())), InvalidParameter);
}

TEST_F(Encoders, SavedPicturesLoadBackInTheirFormatAndResolution) {
    struct Case {
        const char16_t* mime;
        int bits;
        PixelFormat loaded;
    };
    const Case cases[] = {
        {u"image/bmp", 1, PixelFormat1bppIndexed},  {u"image/bmp", 8, PixelFormat8bppIndexed},
        {u"image/bmp", 24, PixelFormat24bppRGB},    {u"image/png", 1, PixelFormat1bppIndexed},
        {u"image/png", 8, PixelFormat8bppIndexed},  {u"image/png", 24, PixelFormat24bppRGB},
        {u"image/jpeg", 1, PixelFormat24bppRGB},    {u"image/jpeg", 8, PixelFormat24bppRGB},
        {u"image/jpeg", 24, PixelFormat24bppRGB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << platform::toUtf8(c.mime) << ", " << c.bits << " bits");
        GpImage* image = picture(c.bits);
        ASSERT_EQ(GdipSaveImageToFile(image, u"C:\\saved", &clsidOf(c.mime), nullptr), Ok);
        GdipDisposeImage(image);
        GpImage* back = nullptr;
        ASSERT_EQ(GdipLoadImageFromFile(u"C:\\saved", &back), Ok);
        PixelFormat format = 0;
        REAL dpi = 0;
        GdipGetImagePixelFormat(back, &format);
        GdipGetImageHorizontalResolution(back, &dpi);
        EXPECT_EQ(format, c.loaded);
        EXPECT_NEAR(dpi, 150, 0.02);  // 5905 pixels per metre: 149.987 dpi
        GdipDisposeImage(back);
    }
}

TEST_F(Encoders, SavingFailsWithItsReason) {
    GpImage* image = picture(24);
    LONG quality = 101;
    short shortQuality = 50;
    auto parameters = [](void* value, ULONG type) {
        EncoderParameters p{};
        p.Count = 1;
        p.Parameter[0] = EncoderParameter{EncoderQuality, 1, type, value};
        return p;
    };
    const EncoderParameters tooHigh = parameters(&quality, EncoderParameterValueTypeLong);
    const EncoderParameters wrongType = parameters(&shortQuality, EncoderParameterValueTypeShort);
    const CLSID unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    struct Case {
        const char* name;
        const char16_t* file;
        const CLSID* encoder;
        const EncoderParameters* parameters;
        const char* fault;
        GpStatus status;
        DWORD error;  // the last error of a Win32Error
    };
    const Case cases[] = {
        {"quality above 100", u"C:\\a.jpg", &clsidOf(u"image/jpeg"), &tooHigh, nullptr, InvalidParameter, 0},
        {"quality as a short", u"C:\\a.jpg", &clsidOf(u"image/jpeg"), &wrongType, nullptr, InvalidParameter, 0},
        {"quality for PNG", u"C:\\a.png", &clsidOf(u"image/png"), &tooHigh, nullptr, InvalidParameter, 0},
        {"an unknown encoder", u"C:\\a.jpg", &unknown, nullptr, nullptr, FileNotFound, 0},
        {"a missing folder", u"C:\\none\\a.jpg", &clsidOf(u"image/jpeg"), nullptr, nullptr, Win32Error,
         ERROR_PATH_NOT_FOUND},
        {"a failed write", u"C:\\a.png", &clsidOf(u"image/png"), nullptr, "WriteFile", Win32Error, ERROR_WRITE_FAULT},
    };
    for (const Case& c : cases) {
        if (c.fault) platform::setFault(c.fault, platform::Fault());
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(GdipSaveImageToFile(image, c.file, c.encoder, c.parameters), c.status) << c.name;
        if (c.status == Win32Error) {
            EXPECT_EQ(GetLastError(), c.error) << c.name;
        }
        platform::clearFaults();
    }
    GdipDisposeImage(image);
}

}  // namespace
