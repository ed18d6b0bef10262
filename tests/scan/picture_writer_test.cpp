// The picture, metafile and TIFF writers of a scanned page, each file read back by an outside tool.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <fstream>
#include <string>

#include "PictureWriter.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "support/pages.h"
#include "win/files.h"

namespace {

using pages::Page;
using platform::testing::Machine;

const char16_t kFolder[] = u"C:\\Scans";

struct Writers : ::testing::Test {
    Writers() { EXPECT_TRUE(CreateDirectoryW(kFolder, nullptr)); }
    std::u16string path(const char16_t* name) const { return std::u16string(kFolder) + u"\\" + name; }
    std::filesystem::path host(const std::u16string& windowsPath) const { return machine.host(windowsPath); }
    // Saves a page with a save type; the writer's result.
    int save(const Page& page, int saveType, const std::u16string& to) const {
        IStream* stream = pages::StreamOf(pages::Bitmap(page));
        int result = SavePageStream(stream, to.c_str(), saveType);
        stream->Release();
        return result;
    }
    // The raster an outside converter makes of a file (its command writes PNM to standard output).
    pages::Raster convert(const std::string& tool, const std::u16string& file) const {
        std::filesystem::path out = host(file).string() + ".pnm";
        pages::Run run = pages::Shell(tool + " " + pages::Quoted(host(file)) + " > " + pages::Quoted(out));
        EXPECT_EQ(run.status, 0) << tool << ": " << run.output;
        return pages::ReadPnm(pages::ReadHostFile(out));
    }
    Machine machine;
    pages::Gdiplus gdiplus;
};

// The picture an SVG converter made of a metafile: the image its first <image> element names (a PNG
// file beside it, or a PNG in a data URI).
pages::Raster svgPicture(const std::filesystem::path& svg) {
    std::string text = pages::ReadHostFile(svg);
    size_t href = text.find("xlink:href=\"");
    if (href == std::string::npos) return {};
    href += 12;
    std::string target = text.substr(href, text.find('"', href) - href);
    std::filesystem::path png = svg.string() + ".png";
    const std::string dataUri = "data:image/png;base64,";
    if (target.starts_with(dataUri)) {
        std::filesystem::path encoded = svg.string() + ".b64";
        std::ofstream(encoded) << target.substr(dataUri.size());
        pages::Shell("base64 -d " + pages::Quoted(encoded) + " > " + pages::Quoted(png));
    } else {
        png = target;
    }
    pages::Run run = pages::Shell("pngtopnm " + pages::Quoted(png) + " > " + pages::Quoted(svg.string() + ".pnm"));
    EXPECT_EQ(run.status, 0) << run.output;
    return pages::ReadPnm(pages::ReadHostFile(svg.string() + ".pnm"));
}

uint32_t u32(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

const Page kOneBit{120, 64, 1, 300};
const Page kGrey{96, 80, 8, 150};
const Page kColour{112, 72, 24, 300};

TEST_F(Writers, EveryPictureTypeShowsThePageInItsOwnReader) {
    struct Case {
        int saveType;
        const char16_t* extension;
        std::string check;    // a checker that must accept the file ("" for none)
        std::string convert;  // the converter to PNM
        double mean;          // largest mean difference of a channel
    };
    const Case cases[] = {
        {SAVE_TYPE_BMP, u"bmp", "", "bmptopnm", 0},
        {SAVE_TYPE_PNG, u"png", "pngcheck", "pngtopnm", 0},
        {SAVE_TYPE_TIF, u"tif", "tiffinfo -D", "tifftopnm", 0},
        {SAVE_TYPE_JPG, u"jpg", "", "djpeg -pnm", 8},
        {SAVE_TYPE_GIF, u"gif", "", "giftopnm", 12},
    };
    for (const Page& page : {kOneBit, kGrey, kColour}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << page.bits << "-bit page as " << platform::toUtf8(c.extension));
            std::u16string file = path((u"page" + std::u16string(1, char16_t(u'0' + page.bits % 10)) + u"." + c.extension).c_str());
            ASSERT_EQ(save(page, c.saveType, file), 0);
            if (!c.check.empty()) {
                pages::Run run = pages::Shell(c.check + " " + pages::Quoted(host(file)));
                EXPECT_EQ(run.status, 0) << run.output;
            }
            pages::Raster raster = convert(c.convert, file);
            pages::Difference d = pages::Compare(raster, page);
            EXPECT_LE(d.mean, c.mean);
            if (c.mean == 0) {
                EXPECT_EQ(d.largest, 0);
            }
            if (c.saveType == SAVE_TYPE_JPG) {
                // Three components whatever the page: djpeg writes grey JPEGs as P5.
                std::string pnm = pages::ReadHostFile(host(file).string() + ".pnm");
                EXPECT_EQ(pnm.substr(0, 2), "P6");
            }
        }
    }
}

TEST_F(Writers, BitmapsAreBottomUpAtTheirExactLengthInThePagesOwnFormat) {
    for (const Page& page : {kOneBit, kGrey, kColour}) {
        std::u16string file = path(u"page.bmp");
        ASSERT_EQ(save(page, SAVE_TYPE_BMP, file), 0);
        std::string bytes = pages::ReadHostFile(host(file));
        size_t stride = ((page.bits * page.width + 31) / 32) * 4;
        size_t palette = page.bits < 24 ? 4u << page.bits : 0;
        EXPECT_EQ(bytes.size(), 54 + palette + stride * page.height);
        EXPECT_EQ(u32(bytes, 2), bytes.size());
        EXPECT_EQ(static_cast<int32_t>(u32(bytes, 22)), page.height);  // positive: bottom-up
        EXPECT_EQ(bytes[28], page.bits);
        EXPECT_EQ(u32(bytes, 38), static_cast<uint32_t>(page.dpi * 39.37));
    }
}

TEST_F(Writers, TiffTagsResolutionAndStrips) {
    // Pixels per metre of the scanner's resolutions give back the resolution, raised to a multiple of 75.
    for (int dpi : {75, 150, 300, 600}) {
        for (int bits : {1, 8, 24}) {
            Page page{100, 40, bits, dpi};
            SCOPED_TRACE(testing::Message() << dpi << " dpi, " << bits << " bits");
            std::u16string file = path(u"page.tif");
            ASSERT_EQ(save(page, SAVE_TYPE_TIF, file), 0);
            pages::Run dump = pages::Shell("tiffdump " + pages::Quoted(host(file)));
            ASSERT_EQ(dump.status, 0) << dump.output;
            const int samples = bits == 24 ? 3 : 1;
            const int rowsPerStrip = std::max(1, 8192 / ((bits * page.width + 7) / 8));
            // The directory in tag order, with the values given (the value's type is libtiff's choice).
            const std::pair<std::string, std::string> expected[] = {
                {"SubFileType (254)", "1<2>"},
                {"ImageWidth (256)", "1<100>"},
                {"ImageLength (257)", "1<40>"},
                {"BitsPerSample (258)", bits == 24 ? "3<8 8 8>" : "1<" + std::to_string(bits) + ">"},
                {"Compression (259)", "1<5>"},
                {"Photometric (262)", bits == 24 ? "1<2>" : "1<1>"},
                {"FillOrder (266)", "1<1>"},
                {"StripOffsets (273)", ""},
                {"SamplesPerPixel (277)", "1<" + std::to_string(samples) + ">"},
                {"RowsPerStrip (278)", "1<" + std::to_string(rowsPerStrip) + ">"},
                {"StripByteCounts (279)", ""},
                {"XResolution (282)", "1<" + std::to_string(dpi) + ">"},
                {"YResolution (283)", "1<" + std::to_string(dpi) + ">"},
                {"PlanarConfig (284)", "1<1>"},
                {"PageName (285)", "7<Page 1\\0>"},
                {"ResolutionUnit (296)", "1<2>"},
                {"PageNumber (297)", "2<1 1>"},
            };
            size_t at = 0;
            for (const auto& [tag, value] : expected) {
                size_t found = dump.output.find("\n" + tag + " ", at);
                ASSERT_NE(found, std::string::npos) << tag << "\n" << dump.output;
                std::string line = dump.output.substr(found + 1, dump.output.find('\n', found + 1) - found - 1);
                EXPECT_TRUE(line.ends_with(value)) << line;
                at = found + 1;
            }
            EXPECT_EQ(pages::Compare(convert("tifftopnm", file), page).largest, 0);
        }
    }
}

// The page's TIFF as libtiff writes it straight to a host file, tag for tag as the writer sets them.
std::string TiffByLibtiff(const std::string& bitmap, int dpi, const std::filesystem::path& file) {
    int32_t width = 0, height = 0;
    uint16_t bits = 0;
    std::memcpy(&width, bitmap.data() + 18, 4);
    std::memcpy(&height, bitmap.data() + 22, 4);
    std::memcpy(&bits, bitmap.data() + 28, 2);
    height = height < 0 ? -height : height;
    const int samples = bits == 24 ? 3 : 1;
    const size_t stride = (static_cast<size_t>(bits) * width + 31) / 32 * 4;
    TIFF* tif = TIFFOpen(file.c_str(), "w");
    if (!tif) return {};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits / samples);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, static_cast<uint32_t>(-1)));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, bits == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(dpi));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(dpi));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, 1, 1);
    TIFFSetField(tif, TIFFTAG_PAGENAME, "Page 1");
    const size_t first = 54 + (bits == 24 ? 0 : size_t{4} << bits);
    for (int32_t y = 0; y < height; ++y) {
        std::string row = bitmap.substr(first + y * stride, stride);
        if (bits == 24)
            for (int32_t x = 0; x < width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFFlush(tif);
    TIFFClose(tif);
    return pages::ReadHostFile(file);
}

// The page's strips and directory are those libtiff writes to a file of its own, byte for byte, for
// pages of one strip and of many.
TEST_F(Writers, TiffIsByteForByteLibtiffsOwnFile) {
    for (const Page& page : {kGrey, kColour, Page{1500, 211, 24, 300}, Page{3000, 97, 8, 300}}) {
        SCOPED_TRACE(std::to_string(page.width) + " x " + std::to_string(page.height) + " bits " +
                     std::to_string(page.bits));
        const std::u16string file = path(u"pinned.tif");
        ASSERT_EQ(save(page, SAVE_TYPE_TIF, file), 0);
        const std::string expected = TiffByLibtiff(pages::Bitmap(page), page.dpi, host(file).string() + ".libtiff");
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(pages::ReadHostFile(host(file)) == expected);
    }
}

TEST_F(Writers, TiffFailsOnShortRowsUnknownDepthsAndFileFaults) {
    const std::string colour = pages::Bitmap(kColour);
    std::string sixteenBits = colour;
    sixteenBits[28] = 16;
    struct Case {
        const char* name;
        std::string bytes;
        const char* fault;
        bool fileMade;
    };
    const Case cases[] = {
        {"rows cut short", colour.substr(0, colour.size() - 100), nullptr, true},
        {"an unknown depth", sixteenBits, nullptr, false},
        {"no info header", colour.substr(0, 40), nullptr, false},
        {"a file that cannot be made", colour, "CreateFile", false},
        {"a failed write", colour, "WriteFile", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string file = path(u"bad.tif");
        DeleteFileW(file.c_str());
        if (c.fault) platform::setFault(c.fault, platform::Fault().failing(-1));
        IStream* stream = pages::StreamOf(c.bytes);
        EXPECT_EQ(SaveTiff(stream, file.c_str()), -1);
        stream->Release();
        platform::clearFaults();
        EXPECT_EQ(GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES, c.fileMade);
    }
}

TEST_F(Writers, TypesWithoutAWriterAndMissingStreamsWriteNothing) {
    for (int type : {int{SAVE_TYPE_DOC}, int{SAVE_TYPE_TXT}, 10, -1}) {
        std::u16string file = path(u"page.out");
        EXPECT_EQ(save(kColour, type, file), -1) << type;
        EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES) << type;
    }
    EXPECT_EQ(SavePageStream(nullptr, path(u"page.jpg").c_str(), SAVE_TYPE_JPG), -1);
    EXPECT_TRUE(machine.filesIn(kFolder).empty());
}

TEST_F(Writers, EncodersByMimeTypeOnlyForTheFiveFormats) {
    struct Case {
        int saveType;
        int index;
    };
    const Case cases[] = {{SAVE_TYPE_BMP, 0}, {SAVE_TYPE_JPG, 1}, {SAVE_TYPE_GIF, 2}, {SAVE_TYPE_TIF, 3},
                          {SAVE_TYPE_PNG, 4}, {SAVE_TYPE_EMF, -1}, {SAVE_TYPE_WMF, -1}, {SAVE_TYPE_PDF, -1}};
    for (const Case& c : cases) {
        CLSID clsid{};
        EXPECT_EQ(GetEncoderForType(&clsid, c.saveType), c.index) << c.saveType;
    }
    CLSID clsid{};
    EXPECT_EQ(GetEncoderClsid(u"image/JPEG", &clsid), -1);  // the text must match exactly
}

TEST_F(Writers, GdiplusStatusesBecomeProgramCodes) {
    const std::pair<GpStatus, int> cases[] = {{Ok, 0}, {InvalidParameter, -41}, {OutOfMemory, -40},
                                              {GenericError, -1}, {Win32Error, -1}, {UnknownImageFormat, -1}};
    for (auto [status, code] : cases) EXPECT_EQ(GdipStatusToCode(status), code) << status;
}

TEST_F(Writers, EnhancedMetafileHoldsThePageAsOneStretchedDib) {
    for (const Page& page : {kOneBit, kGrey, kColour}) {
        std::u16string file = path(u"page.emf");
        ASSERT_EQ(save(page, SAVE_TYPE_EMF, file), 0);
        std::string emf = pages::ReadHostFile(host(file));
        ASSERT_GE(emf.size(), 108u);
        EXPECT_EQ(u32(emf, 0), 1u);                    // EMR_HEADER
        EXPECT_EQ(u32(emf, 40), 0x464D4520u);          // " EMF"
        EXPECT_EQ(u32(emf, 48), emf.size());           // nBytes
        EXPECT_EQ(u32(emf, 52), 3u);                   // header, the picture, end
        const size_t dib = u32(emf, 4);
        EXPECT_EQ(u32(emf, dib), 81u);                 // EMR_STRETCHDIBITS
        EXPECT_EQ(u32(emf, dib + 72), static_cast<uint32_t>(page.width));
        EXPECT_EQ(u32(emf, dib + 76), static_cast<uint32_t>(page.height));
        EXPECT_EQ(u32(emf, dib + 80 + 14) & 0xFFFF, static_cast<uint32_t>(page.bits));  // the page's own format
        EXPECT_EQ(u32(emf, emf.size() - 20), 14u);     // EMR_EOF
        std::filesystem::path svg = host(file).string() + ".svg";
        pages::Run run = pages::Shell("emf2svg-conv -i " + pages::Quoted(host(file)) + " -o " + pages::Quoted(svg));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(pages::Compare(svgPicture(svg), page).largest, 0);
    }
}

TEST_F(Writers, WindowsMetafileThroughATemporaryEmfOfItsOwn) {
    // A temporary EMF of another program stays as it is.
    WCHAR temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    std::u16string other = std::u16string(temp) + u"ScanToUtil0.emf";
    machine.writeFile(other, "another program's");
    for (const Page& page : {kOneBit, kGrey, kColour}) {
        std::u16string file = path(u"page.wmf");
        ASSERT_EQ(save(page, SAVE_TYPE_WMF, file), 0);
        std::string wmf = pages::ReadHostFile(host(file));
        ASSERT_GE(wmf.size(), 18u);
        EXPECT_EQ(u32(wmf, 6) * 2, wmf.size());  // mtSize in words
        std::filesystem::path svg = host(file).string() + ".svg";
        pages::Run run = pages::Shell("wmf2svg -o " + pages::Quoted(svg) + " " + pages::Quoted(host(file)));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(pages::Compare(svgPicture(svg), page).largest, 0) << pages::ReadHostFile(svg);
    }
    EXPECT_EQ(machine.readFile(other), "another program's");
    std::vector<std::string> left = machine.filesIn(temp);
    EXPECT_EQ(left, std::vector<std::string>{"ScanToUtil0.emf"});
}

TEST_F(Writers, MetafileFailuresReportTheirCodes) {
    // A page GDI+ cannot read; no memory for the Windows metafile's bits.
    std::u16string wmf = path(u"page.wmf");
    IStream* junk = pages::StreamOf("not a picture");
    EXPECT_EQ(SaveMetafile(junk, wmf.c_str(), false, false), -1);
    junk->Release();
    platform::setFault("VirtualAlloc", platform::Fault());
    EXPECT_EQ(save(kGrey, SAVE_TYPE_WMF, wmf), -40);
    platform::clearFaults();
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    EXPECT_TRUE(machine.filesIn(temp).empty());
}

}  // namespace
