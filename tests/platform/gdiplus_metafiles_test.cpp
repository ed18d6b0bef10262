// Metafiles recorded through GDI+: the stretched DIB a drawing leaves, image attributes, the states
// of a recording, the conversion to a Windows metafile and the metafile handles of GDI.
#include <gtest/gtest.h>

#include <string>

#include "platform/testing/machine.h"
#include "support/bitmap_files.h"
#include "win/files.h"
#include "win/gdi.h"
#include "win/gdiplus.h"

namespace {

using platform::testing::Machine;

uint32_t u32(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

struct Metafiles : ::testing::Test {
    Metafiles() {
        GdiplusStartupInput input;
        GdiplusStartup(&token, &input, nullptr);
        dc = CreateCompatibleDC(nullptr);
    }
    ~Metafiles() override {
        DeleteDC(dc);
        GdiplusShutdown(token);
    }
    GpImage* picture(int bits) const {
        GpImage* image = nullptr;
        IStream* stream = bitmap_files::Stream(bitmap_files::Make(6, 2, bits));
        EXPECT_EQ(GdipLoadImageFromStream(stream, &image), Ok);
        stream->Release();
        return image;
    }
    // Records the picture drawn whole with the attributes; the EMF's bytes.
    std::string record(GpImage* image, GpImageAttributes* attributes) const {
        GpMetafile* metafile = nullptr;
        EXPECT_EQ(GdipRecordMetafileFileName(u"C:\\page.emf", dc, EmfTypeEmfPlusDual, nullptr, MetafileFrameUnitGdi,
                                             nullptr, &metafile),
                  Ok);
        GpGraphics* graphics = nullptr;
        EXPECT_EQ(GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(metafile), &graphics), Ok);
        EXPECT_EQ(GdipDrawImageRectRectI(graphics, image, 0, 0, 6, 2, 0, 0, 6, 2, UnitPixel, attributes, nullptr,
                                         nullptr),
                  Ok);
        EXPECT_EQ(GdipDeleteGraphics(graphics), Ok);
        GdipDisposeImage(reinterpret_cast<GpImage*>(metafile));
        return *machine.readFile(u"C:\\page.emf");
    }
    Machine machine;
    ULONG_PTR token = 0;
    HDC dc = nullptr;
};

// The pixels of the first stretched DIB of an EMF (24 bits, bottom-up) as blue, green, red bytes of
// the top row first.
std::string topRow(const std::string& emf) {
    size_t record = u32(emf, 4);
    size_t bits = record + u32(emf, record + 56);
    size_t stride = 20;  // 6 pixels of 3 bytes, padded
    return emf.substr(bits + stride, 18);  // the second stored row is the top one
}

TEST_F(Metafiles, AttributesChangeTheColoursDrawn) {
    GpImage* image = picture(24);  // values 0, 3, 6, 9, 12, 15 in the top row
    GpImageAttributes* attributes = nullptr;
    ASSERT_EQ(GdipCreateImageAttributes(&attributes), Ok);
    ColorMatrix identity{};
    for (int i = 0; i < 5; ++i) identity.m[i][i] = 1;
    ASSERT_EQ(GdipSetImageAttributesColorMatrix(attributes, ColorAdjustTypeDefault, TRUE, &identity, nullptr,
                                                ColorMatrixFlagsDefault),
              Ok);
    EXPECT_EQ(topRow(record(image, attributes)), std::string("\0\0\0\3\3\3\6\6\6\t\t\t\f\f\f\x0f\x0f\x0f", 18));
    // Inverting red: 1 - r.
    ColorMatrix invertRed = identity;
    invertRed.m[0][0] = -1;
    invertRed.m[4][0] = 1;
    GdipSetImageAttributesColorMatrix(attributes, ColorAdjustTypeDefault, TRUE, &invertRed, nullptr,
                                      ColorMatrixFlagsDefault);
    EXPECT_EQ(topRow(record(image, attributes)).substr(0, 6), std::string("\0\0\xff\3\3\xfc", 6));
    // A threshold of 5 / 255 keeps 6 and above.
    GdipSetImageAttributesColorMatrix(attributes, ColorAdjustTypeDefault, FALSE, nullptr, nullptr, ColorMatrixFlagsDefault);
    GdipSetImageAttributesThreshold(attributes, ColorAdjustTypeDefault, TRUE, 5.0f / 255);
    EXPECT_EQ(topRow(record(image, attributes)), std::string("\0\0\0\0\0\0", 6) + std::string(12, '\xff'));
    GdipDisposeImageAttributes(attributes);
    GdipDisposeImage(image);
}

TEST_F(Metafiles, RecordingStates) {
    GpImage* image = picture(8);
    GpMetafile* metafile = nullptr;
    EXPECT_EQ(GdipRecordMetafileFileName(u"C:\\none\\page.emf", dc, EmfTypeEmfPlusDual, nullptr, MetafileFrameUnitGdi,
                                         nullptr, &metafile),
              Win32Error);
    ASSERT_EQ(GdipRecordMetafileFileName(u"C:\\page.emf", dc, EmfTypeEmfPlusDual, nullptr, MetafileFrameUnitGdi, nullptr,
                                         &metafile),
              Ok);
    auto* asImage = reinterpret_cast<GpImage*>(metafile);
    GpGraphics* graphics = nullptr;
    GpGraphics* second = nullptr;
    HENHMETAFILE emf = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(asImage, &graphics), Ok);
    EXPECT_EQ(GdipGetImageGraphicsContext(asImage, &second), WrongState);
    EXPECT_EQ(GdipGetHemfFromMetafile(metafile, &emf), WrongState);
    EXPECT_EQ(GdipDrawImageRectRectI(graphics, image, 0, 0, 6, 2, 0, 0, 7, 2, UnitPixel, nullptr, nullptr, nullptr),
              InvalidParameter);  // a source beyond the picture
    EXPECT_EQ(GdipDrawImageRectRectI(graphics, asImage, 0, 0, 6, 2, 0, 0, 6, 2, UnitPixel, nullptr, nullptr, nullptr),
              NotImplemented);  // a metafile into a metafile
    EXPECT_EQ(GdipDeleteGraphics(graphics), Ok);
    EXPECT_EQ(GdipGetImageGraphicsContext(asImage, &second), WrongState);
    ASSERT_EQ(GdipGetHemfFromMetafile(metafile, &emf), Ok);
    EXPECT_EQ(GetObjectType(emf), static_cast<DWORD>(OBJ_ENHMETAFILE));
    std::string file = *machine.readFile(u"C:\\page.emf");
    EXPECT_EQ(u32(file, 52), 2u);  // header and end: nothing drawn
    EXPECT_TRUE(DeleteEnhMetaFile(emf));
    EXPECT_FALSE(DeleteEnhMetaFile(emf));
    GdipDisposeImage(asImage);
    GdipDisposeImage(image);
}

TEST_F(Metafiles, WindowsMetafileBitsAndHandles) {
    GpImage* image = picture(1);
    GpMetafile* metafile = nullptr;
    ASSERT_EQ(GdipRecordMetafileFileName(u"C:\\page.emf", dc, EmfTypeEmfPlusDual, nullptr, MetafileFrameUnitGdi, nullptr,
                                         &metafile),
              Ok);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(metafile), &graphics);
    GdipDrawImageRectRectI(graphics, image, 0, 0, 6, 2, 0, 0, 6, 2, UnitPixel, nullptr, nullptr, nullptr);
    GdipDeleteGraphics(graphics);
    HENHMETAFILE emf = nullptr;
    ASSERT_EQ(GdipGetHemfFromMetafile(metafile, &emf), Ok);
    EXPECT_EQ(GdipEmfToWmfBits(emf, 0, nullptr, MM_TEXT, 0), 0u);
    const UINT size = GdipEmfToWmfBits(emf, 0, nullptr, MM_ANISOTROPIC, EmfToWmfBitsFlagsEmbedEmf);
    ASSERT_GT(size, 18u);
    std::string bits(size, '\0');
    EXPECT_EQ(GdipEmfToWmfBits(emf, size - 1, reinterpret_cast<BYTE*>(bits.data()), MM_ANISOTROPIC, 0), 0u);
    EXPECT_EQ(GdipEmfToWmfBits(emf, size, reinterpret_cast<BYTE*>(bits.data()), MM_ANISOTROPIC, 0), size);
    EXPECT_EQ(bits.substr(0, 6), std::string("\1\0\x09\0\0\3", 6));  // memory metafile, 9 header words, version 3
    EXPECT_EQ(u32(bits, 6) * 2, size);
    // The placeable header: its key, the window, 96 units an inch and the XOR of its first ten words.
    const UINT placeable = GdipEmfToWmfBits(emf, 0, nullptr, MM_ANISOTROPIC, EmfToWmfBitsFlagsIncludePlaceable);
    std::string withHeader(placeable, '\0');
    GdipEmfToWmfBits(emf, placeable, reinterpret_cast<BYTE*>(withHeader.data()), MM_ANISOTROPIC,
                     EmfToWmfBitsFlagsIncludePlaceable);
    EXPECT_EQ(placeable, size + 22);
    EXPECT_EQ(u32(withHeader, 0), 0x9AC6CDD7u);
    EXPECT_EQ(withHeader.substr(6, 10), std::string("\0\0\0\0\6\0\2\0\x60\0", 10));
    uint16_t sum = 0;
    for (int i = 0; i < 11; ++i) sum ^= static_cast<uint16_t>(u32(withHeader, 2 * i) & 0xFFFF);
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(withHeader.substr(22), bits);

    HMETAFILE wmf = SetMetaFileBitsEx(size, reinterpret_cast<const BYTE*>(bits.data()));
    ASSERT_NE(wmf, nullptr);
    HMETAFILE copy = CopyMetaFileW(wmf, u"C:\\page.wmf");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(machine.readFile(u"C:\\page.wmf"), bits);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(CopyMetaFileW(wmf, u"C:\\none\\page.wmf"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(DeleteMetaFile(copy));
    EXPECT_TRUE(DeleteMetaFile(wmf));
    EXPECT_FALSE(DeleteMetaFile(wmf));
    EXPECT_FALSE(DeleteMetaFile(reinterpret_cast<HMETAFILE>(emf)));  // an enhanced one is no Windows metafile
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SetMetaFileBitsEx(10, reinterpret_cast<const BYTE*>(bits.data())), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    DeleteEnhMetaFile(emf);
    GdipDisposeImage(reinterpret_cast<GpImage*>(metafile));
    GdipDisposeImage(image);
}

}  // namespace
