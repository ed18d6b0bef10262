// The PDF of JPEG pages: its bytes as typed from the layout, its limits, and the file through qpdf
// and poppler.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "JpegPdf.h"
#include "PictureWriter.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "support/pages.h"
#include "win/files.h"

namespace {

using pages::Page;
using platform::testing::Machine;

const char16_t kPdf[] = u"C:\\Scans\\job.pdf";

struct JpegPdf : ::testing::Test {
    JpegPdf() { EXPECT_TRUE(CreateDirectoryW(u"C:\\Scans", nullptr)); }
    // A page saved as a JPEG (as the job's temporary pages are); its name.
    std::u16string jpeg(const Page& page, const std::u16string& name) const {
        std::u16string file = u"C:\\Scans\\" + name;
        IStream* stream = pages::StreamOf(pages::Bitmap(page));
        EXPECT_EQ(SavePageStream(stream, file.c_str(), SAVE_TYPE_JPG), 0);
        stream->Release();
        return file;
    }
    DWORD length(const std::u16string& file) const {
        return static_cast<DWORD>(std::filesystem::file_size(machine.host(file)));
    }
    // A whole job: the pages added, the document ended and written.
    int job(const std::vector<std::u16string>& files, int width, int height, int resolution) const {
        PdfWriter* writer = PDF_New(width, height);
        for (const auto& file : files)
            if (int r = PDF_AddJpeg(file.c_str(), writer, width, height, resolution, length(file)); r != 0) {
                PDF_ToFile(writer, kPdf);
                return r;
            }
        uint64_t size = 0;
        if (int r = PDF_EndDocument(writer, &size); r != 0) {
            PDF_ToFile(writer, kPdf);
            return r;
        }
        int r = PDF_ToFile(writer, kPdf);
        if (r == 0) {
            EXPECT_EQ(size, std::filesystem::file_size(host()));
        }
        return r;
    }
    std::filesystem::path host() const { return machine.host(kPdf); }
    std::string pdf() const { return pages::ReadHostFile(host()); }
    pages::Raster render(int dpi, int page) const {
        std::filesystem::path out = host().parent_path() / "render";
        pages::Run run = pages::Shell("pdftoppm -r " + std::to_string(dpi) + " -f " + std::to_string(page) + " -l " +
                                      std::to_string(page) + " -singlefile " + pages::Quoted(host()) + " " +
                                      pages::Quoted(out));
        EXPECT_EQ(run.status, 0) << run.output;
        return pages::ReadPnm(pages::ReadHostFile(out.string() + ".ppm"));
    }
    Machine machine;
    pages::Gdiplus gdiplus;
};

TEST_F(JpegPdf, A4PageAt300DpiAsTypedFromTheLayout) {
    std::u16string file = jpeg(Page{2480, 3507, 8, 300}, u"Jpg1.tmp");
    const DWORD n = length(file);
    ASSERT_EQ(job({file}, 2480, 3507, 300), 0);
    const std::string out = pdf();
    const std::string header = "%PDF-1.3\r\n%\xFF---\xFF\r\n";
    const std::string image = "\r\n2 0 obj\r\n<</Type/XObject/Subtype/Image/Filter/DCTDecode/BitsPerComponent 8"
                              "/ColorSpace/DeviceRGB/Width 2480/Height 3507/Length " + std::to_string(n) +
                              ">>\r\nstream\r\n";
    const std::string page =
        "\r\nendstream\r\nendobj\r\n"
        "3 0 obj\r\n<</Type/Page/Parent 1 0 R/MediaBox[0 0 595 841]/Contents 4 0 R/Resources 6 0 R>>\r\nendobj\r\n"
        "4 0 obj\r\n<</Length 5 0 R>>stream\r\nq\r\n 595.20 0 0 841.68 0 0 cm \r\n/I0 Do\r\nQ\r\nendstream\r\nendobj\r\n"
        "5 0 obj\r\n42\r\nendobj\r\n"
        "6 0 obj\r\n<</ProcSet[/PDF/ImageB]/XObject<</I0 2 0 R>>>>\r\nendobj\r\n"
        "7 0 obj\r\n<</Type/Catalog/Pages 1 0 R>>\r\nendobj\r\n"
        "1 0 obj\r\n<</Type /Pages /Kids [3 0 R] /Count 1>>\r\nendobj\r\n"
        "xref\r\n0 8\r\n";
    ASSERT_EQ(out.substr(0, header.size() + image.size()), header + image);
    const size_t jpegAt = header.size() + image.size();
    EXPECT_EQ(out.substr(jpegAt, n), pages::ReadHostFile(machine.host(file)));
    ASSERT_EQ(out.substr(jpegAt + n, page.size()), page);
    // Entries: 0 free, then each object where its text begins (the image at the CR LF before it).
    const size_t xref = out.find("xref\r\n");
    EXPECT_EQ(out.substr(xref + 11, 20), "0000000000 65535 f\r\n");
    const size_t starts[] = {0, out.find("1 0 obj"), header.size(), out.find("3 0 obj"), out.find("4 0 obj"),
                             out.find("5 0 obj"), out.find("6 0 obj"), out.find("7 0 obj")};
    for (int id = 1; id <= 7; ++id) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", starts[id]);
        EXPECT_EQ(out.substr(xref + 11 + 20 * id, 20), entry) << id;
    }
    EXPECT_EQ(out.substr(xref + 11 + 20 * 8),
              "trailer\r\n<</Root 7 0 R /Size 8>>\r\nstartxref\r\n" + std::to_string(xref) + "\r\n%%EOF\r\n");
    pages::Run check = pages::Shell("qpdf --check " + pages::Quoted(host()));
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output.find("WARNING"), std::string::npos) << check.output;
}

TEST_F(JpegPdf, PagesKeepTheirOwnSizeAndColours) {
    // A page smaller than the job's size, a one-bit page, a colour page and a one-component JPEG; at
    // 75 dpi 100 x 75 pixels are 96 x 72 points, drawn 4 x 4 at 300 dpi.
    const Page small{100, 75, 24, 75}, oneBit{100, 75, 1, 75}, grey{100, 75, 8, 75};
    std::u16string files[] = {jpeg(small, u"Jpg1.tmp"), jpeg(oneBit, u"Jpg2.tmp"), u"C:\\Scans\\grey.jpg"};
    // cjpeg writes the grey page with one component.
    std::string pgm = "P5\n100 75\n255\n";
    for (int y = 0; y < 75; ++y)
        for (int x = 0; x < 100; ++x) {
            uint8_t rgb[3];
            pages::Pixel(grey, x, y, rgb);
            pgm += static_cast<char>(rgb[0]);
        }
    std::filesystem::path pgmFile = machine.host(u"C:\\Scans\\grey.pgm");
    std::ofstream(pgmFile, std::ios::binary) << pgm;
    pages::Run cjpeg = pages::Shell("cjpeg -grayscale -quality 90 -outfile " + pages::Quoted(machine.host(files[2])) +
                                    " " + pages::Quoted(pgmFile));
    ASSERT_EQ(cjpeg.status, 0) << cjpeg.output;
    ASSERT_EQ(job({files[0], files[1], files[2]}, 2480, 3507, 75), 0);
    EXPECT_NE(pdf().find("/ColorSpace/DeviceGray/Width 100/Height 75"), std::string::npos);
    EXPECT_EQ(pages::Shell("qpdf --check " + pages::Quoted(host())).status, 0);
    pages::Run list = pages::Shell("pdfimages -list " + pages::Quoted(host()));
    for (const char* line : {"   1     0 image     100    75  rgb     3   8  jpeg",
                             "   2     1 image     100    75  rgb     3   8  jpeg",
                             "   3     2 image     100    75  gray    1   8  jpeg"})
        EXPECT_NE(list.output.find(line), std::string::npos) << line << "\n" << list.output;
    const Page* shown[] = {&small, &oneBit, &grey};
    for (int i = 0; i < 3; ++i) {
        pages::Difference d = pages::Compare(pages::Centres(render(300, i + 1), 4), *shown[i]);
        EXPECT_LE(d.mean, 8) << "page " << i + 1;
    }
}

TEST_F(JpegPdf, AThousandPagesAtMost) {
    std::u16string file = jpeg(Page{16, 16, 24, 75}, u"Jpg1.tmp");
    PdfWriter* writer = PDF_New(16, 16);
    for (int i = 0; i < PDF_MAX_PAGES; ++i) ASSERT_EQ(PDF_AddJpeg(file.c_str(), writer, 16, 16, 75, length(file)), 0);
    EXPECT_EQ(PDF_AddJpeg(file.c_str(), writer, 16, 16, 75, length(file)), PDF_ERROR);
    uint64_t size = 0;
    ASSERT_EQ(PDF_EndDocument(writer, &size), 0);
    ASSERT_EQ(PDF_ToFile(writer, kPdf), 0);
    EXPECT_NE(pdf().find("xref\r\n0 5003\r\n"), std::string::npos);
    pages::Run check = pages::Shell("qpdf --check " + pages::Quoted(host()));
    EXPECT_EQ(check.status, 0) << check.output.substr(0, 2000);
}

// A join past 2 and 4 GiB counts its offsets in 64 bits; one whose objects would lie past the ten
// digits of an entry is refused. The lengths given for the pages (as the caller reads them from the
// files) carry the offsets there without such files.
TEST_F(JpegPdf, OffsetsPastTwoAndFourGiBAndPastTenDigits) {
    std::u16string file = jpeg(Page{16, 16, 24, 75}, u"Jpg1.tmp");
    const uint64_t text = 2000;  // at most the header and text of two pages and the tail
    struct Case {
        const char* what;
        std::vector<DWORD> lengths;
        int refusedPage;  // 0: all taken
    };
    const Case cases[] = {
        {"past 2 GiB", {0x80000000u}, 0},
        {"past 4 GiB", {0xFFFFFFFFu, 0xFFFFFFFFu}, 0},
        // The third page's image begins near 8.6e9 and its page object lies past 1.2e10.
        {"past ten digits", {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdfWriter* writer = PDF_New(16, 16);
        uint64_t lengths = 0;
        for (size_t i = 0; i < c.lengths.size(); ++i) {
            const int expected = static_cast<int>(i) + 1 == c.refusedPage ? PDF_ERROR : 0;
            EXPECT_EQ(PDF_AddJpeg(file.c_str(), writer, 16, 16, 75, c.lengths[i]), expected) << "page " << i + 1;
            if (expected == 0) lengths += c.lengths[i];
        }
        uint64_t size = 0;
        ASSERT_EQ(PDF_EndDocument(writer, &size), 0);
        EXPECT_GT(size, lengths);
        EXPECT_LT(size, lengths + text);
        PDF_ToFile(writer, kPdf);
    }
    // The longest third page the writer takes ends its last object at the last offset of ten digits,
    // so the catalog after it lies past them: the document is refused.
    const auto withThird = [&](DWORD third, bool end) {
        PdfWriter* writer = PDF_New(16, 16);
        int result = 0;
        for (DWORD length : {0xFFFFFFFFu, 0xFFFFFFFFu, third})
            if (result == 0) result = PDF_AddJpeg(file.c_str(), writer, 16, 16, 75, length);
        uint64_t size = 0;
        if (result == 0 && end) result = PDF_EndDocument(writer, &size);
        PDF_ToFile(writer, kPdf);
        return result;
    };
    DWORD taken = 1, refused = 0xFFFFFFFFu;
    ASSERT_EQ(withThird(taken, false), 0);
    ASSERT_EQ(withThird(refused, false), PDF_ERROR);
    while (refused - taken > 1) {
        const DWORD middle = taken + (refused - taken) / 2;
        (withThird(middle, false) == 0 ? taken : refused) = middle;
    }
    EXPECT_EQ(withThird(taken, true), PDF_ERROR);
    EXPECT_EQ(withThird(taken - 1000, true), 0);  // room for the catalog and the page tree
}

TEST(JpegPdfEntry, TenDigitsInSixtyFourBits) {
    struct Case {
        uint64_t offset;
        const char* entry;  // nullptr: refused
    };
    const Case cases[] = {
        {0, "0000000000 00000 n\r\n"},
        {2147483647, "2147483647 00000 n\r\n"},
        {2147483648, "2147483648 00000 n\r\n"},
        {4294967296 + 17, "4294967313 00000 n\r\n"},
        {9999999999, "9999999999 00000 n\r\n"},
        {10000000000, nullptr},
        {~uint64_t{0}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        char entry[PDF_XREF_ENTRY_CHARS] = "unchanged";
        EXPECT_EQ(FormatXrefEntry(c.offset, entry), c.entry != nullptr);
        EXPECT_STREQ(entry, c.entry ? c.entry : "unchanged");
    }
}

TEST_F(JpegPdf, PagesThatAreNoJpegAreRefused) {
    std::u16string good = jpeg(Page{16, 16, 24, 75}, u"Jpg1.tmp");
    std::string bytes = pages::ReadHostFile(machine.host(good));
    std::string cmyk = bytes;
    cmyk[cmyk.find("\xFF\xC0") + 9] = 4;  // four components
    struct Case {
        const char* name;
        std::string bytes;  // empty: no file
        int resolution;
    };
    const Case cases[] = {
        {"a missing file", "", 75},
        {"no JPEG", "GIF89a", 75},
        {"cut before its frame", bytes.substr(0, 20), 75},
        {"four components", cmyk, 75},
        {"a resolution of 0", bytes, 0},
    };
    for (const Case& c : cases) {
        std::u16string file = u"C:\\Scans\\case.jpg";
        DeleteFileW(file.c_str());
        if (!c.bytes.empty()) machine.writeFile(file, c.bytes);
        PdfWriter* writer = PDF_New(16, 16);
        EXPECT_EQ(PDF_AddJpeg(file.c_str(), writer, 16, 16, c.resolution, static_cast<DWORD>(c.bytes.size())), PDF_ERROR)
            << c.name;
        PDF_ToFile(writer, kPdf);
    }
    EXPECT_EQ(PDF_AddJpeg(good.c_str(), nullptr, 16, 16, 75, length(good)), PDF_ERROR);
    // No pages: no document.
    PdfWriter* empty = PDF_New(16, 16);
    uint64_t size = 0;
    EXPECT_EQ(PDF_EndDocument(empty, &size), PDF_ERROR);
    EXPECT_EQ(PDF_ToFile(empty, kPdf), PDF_ERROR);
}

TEST_F(JpegPdf, WritingFailsWhenThePagesOrTheFileFail) {
    std::u16string file = jpeg(Page{64, 48, 24, 75}, u"Jpg1.tmp");
    struct Case {
        const char* name;
        const char* fault;
        DWORD error;
        bool shortenJpeg;
        int expected;
    };
    const Case cases[] = {
        {"a file that cannot be created", "CreateFile", ERROR_ACCESS_DENIED, false, ERROR_ACCESS_DENIED},
        {"a failed write", "WriteFile", 0, false, PDF_ERROR},
        {"a JPEG that changed after it was added", nullptr, 0, true, PDF_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string original = pages::ReadHostFile(machine.host(file));
        PdfWriter* writer = PDF_New(64, 48);
        ASSERT_EQ(PDF_AddJpeg(file.c_str(), writer, 64, 48, 75, length(file)), 0);
        uint64_t size = 0;
        ASSERT_EQ(PDF_EndDocument(writer, &size), 0);
        if (c.shortenJpeg) machine.writeFile(file, original.substr(0, original.size() - 10));
        if (c.fault) platform::setFault(c.fault, platform::Fault().withError(c.error).onlyFor(c.fault == std::string("CreateFile") ? platform::toUtf8(kPdf) : ""));
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(PDF_ToFile(writer, kPdf), c.expected);
        platform::clearFaults();
        machine.writeFile(file, original);
    }
}

TEST(JpegFrame, ReadsTheFirstFrameHeaderOfAnyByteRange) {
    const std::string soi = "\xFF\xD8";
    const std::string app0 = std::string("\xFF\xE0\x00\x04", 4) + "ab";
    const std::string sof0 = std::string("\xFF\xC0\x00\x0B\x08\x00\x4B\x00\x64\x03\x01\x22\x00", 13);
    const std::string sof2 = std::string("\xFF\xC2\x00\x0B\x08\x01\x00\x02\x00\x01\x01\x11\x00", 13);
    struct Case {
        const char* name;
        std::string bytes;
        int width, height, components;  // 0: no frame
    };
    const Case cases[] = {
        {"baseline after an APP0", soi + app0 + sof0, 100, 75, 3},
        {"progressive, one component, fill bytes before the marker", soi + "\xFF\xFF" + sof2, 512, 256, 1},
        {"no start of image", app0 + sof0, 0, 0, 0},
        {"a segment longer than the bytes", soi + std::string("\xFF\xE0\x40\x00", 4), 0, 0, 0},
        {"a frame cut short", soi + sof0.substr(0, 8), 0, 0, 0},
        {"a scan before any frame", soi + std::string("\xFF\xDA\x00\x02", 4) + sof0, 0, 0, 0},
        {"a frame of no lines", soi + std::string("\xFF\xC0\x00\x0B\x08\x00\x00\x00\x64\x03\x01\x22\x00", 13), 0, 0, 0},
        {"nothing", "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        auto frame = ReadJpegFrame(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size());
        if (c.width == 0) {
            EXPECT_FALSE(frame) << c.name;
            continue;
        }
        ASSERT_TRUE(frame) << c.name;
        EXPECT_EQ(frame->width, c.width) << c.name;
        EXPECT_EQ(frame->height, c.height) << c.name;
        EXPECT_EQ(frame->components, c.components) << c.name;
    }
}

}  // namespace
