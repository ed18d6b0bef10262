// The single-page PDF writer: its bytes as typed from the layout, and the file through qpdf and poppler.
#include <gtest/gtest.h>

#include <string>

#include "PdfStreamWriter.h"
#include "PictureWriter.h"
#include "platform/control.h"
#include "platform/testing/machine.h"
#include "support/pages.h"
#include "win/files.h"

namespace {

using pages::Page;
using platform::testing::Machine;

const char16_t kFile[] = u"C:\\Scans\\page.pdf";

struct StreamPdf : ::testing::Test {
    StreamPdf() {
        EXPECT_TRUE(CreateDirectoryW(u"C:\\Scans", nullptr));
        WCHAR folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        temp = folder;
    }
    int save(const Page& page) const { return saveBytes(pages::Bitmap(page)); }
    int saveBytes(const std::string& bytes) const {
        IStream* stream = pages::StreamOf(bytes);
        int result = SavePageStream(stream, kFile, SAVE_TYPE_PDF);
        stream->Release();
        return result;
    }
    std::filesystem::path host() const { return machine.host(kFile); }
    std::string pdf() const { return pages::ReadHostFile(host()); }
    Machine machine;
    pages::Gdiplus gdiplus;
    std::u16string temp;
};

// The first quantisation value of a JPEG's first table: libjpeg scales 16 by its quality.
int firstQuantisationValue(const std::string& jpeg) {
    size_t dqt = jpeg.find("\xFF\xDB");
    return dqt == std::string::npos ? -1 : static_cast<uint8_t>(jpeg[dqt + 5]);
}

TEST_F(StreamPdf, ColourPageAt300DpiAsTypedFromTheLayout) {
    const Page page{250, 100, 24, 300};  // 60 x 24 points
    ASSERT_EQ(save(page), 0);
    const std::string file = pdf();
    const std::string head =
        "%PDF-1.3 \r"
        "1 0 obj\rendobj\r"
        "2 0 obj\r<<\r/Type /Catalog\r/Pages 6 0 R\r>>\rendobj\r"
        "3 0 obj\rendobj\r"
        "4 0 obj\rendobj\r"
        "5 0 obj\r<</Creator()/Title()/Author()/Subject(image)/Producer(Orlith)>>\rendobj\r"
        "7 0 obj\r<<\r/Length 8 0 R\r>>\rstream\r\nq\r60 0 0 24 0 0 cm \r/im1 Do\rQ\rendstream\rendobj\r"
        "8 0 obj\r30\rendobj\r"
        "9 0 obj\r<<\r/Type /Page\r/Parent 6 0 R\r/Resources <<\r/XObject <<\r/im1 10 0 R \r>>\r"
        "/ProcSet [/PDF /ImageC]\r>>\r/Contents [ 7 0 R ]\r/MediaBox [ 0 0 60 24 ]\r>>\rendobj\r"
        "10 0 obj\r<<\r/Type /XObject\r/Subtype /Image\r/Name /im1\r/Width 250\r/Height 100\r/Filter /DCTDecode\r"
        "/BitsPerComponent 8\r/ColorSpace /DeviceRGB \r/Length ";
    ASSERT_EQ(file.substr(0, head.size()), head);
    const size_t lengthEnd = file.find('\r', head.size());
    const size_t jpegLength = std::stoul(file.substr(head.size(), lengthEnd - head.size()));
    const std::string beforeJpeg = "\r>>\rstream\r\n";
    ASSERT_EQ(file.substr(lengthEnd, beforeJpeg.size()), beforeJpeg);
    const size_t jpegAt = lengthEnd + beforeJpeg.size();
    const std::string jpeg = file.substr(jpegAt, jpegLength);
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(firstQuantisationValue(jpeg), 11);  // quality 65: 16 x 70 %
    const std::string rest = file.substr(jpegAt + jpegLength);
    const std::string tree =
        "\rendstream\rendobj\r"
        "6 0 obj\r<<\r/Kids [9 0 R ]\r/Count 1\r/Type /Pages\r/MediaBox [ 0 0 60 24 ]\r>>\rendobj\r"
        "xref\r0 11\r0000000000 65535 f \r";
    ASSERT_EQ(rest.substr(0, tree.size()), tree);
    // Each entry (20 bytes) is where its object begins; object 6 follows the page objects.
    const size_t xref = file.find("xref\r");
    for (int id = 1; id <= 10; ++id) {
        std::string entry = file.substr(xref + 10 + 20 * id, 20);
        ASSERT_EQ(entry.substr(10), " 00000 n \r") << id;
        size_t offset = std::stoul(entry.substr(0, 10));
        EXPECT_EQ(file.substr(offset, std::to_string(id).size() + 6), std::to_string(id) + " 0 obj") << id;
    }
    const std::string trailer = "trailer\r<<\r/Size 11\r/Root 2 0 R\r/Info 5 0 R\r>>\rstartxref\r" +
                                std::to_string(xref) + "\r%%EOF\r";
    EXPECT_EQ(file.substr(xref + 10 + 20 * 11), trailer);
}

TEST_F(StreamPdf, JpegQualityFollowsTheResolution) {
    // 100 - dpi / 600 x 70: 91, 82, 65, 30; libjpeg's first table entry 16 x (200 - 2q) % (5000 / q below 50).
    const std::pair<int, int> cases[] = {{75, 3}, {150, 6}, {300, 11}, {600, 27}};
    for (auto [dpi, quantisation] : cases) {
        ASSERT_EQ(save(Page{64, 48, 8, dpi}), 0);
        pages::Run images = pages::Shell("cd " + pages::Quoted(host().parent_path()) + " && pdfimages -j page.pdf img");
        ASSERT_EQ(images.status, 0) << images.output;
        EXPECT_EQ(firstQuantisationValue(pages::ReadHostFile(host().parent_path() / "img-000.jpg")), quantisation)
            << dpi;
    }
}

TEST_F(StreamPdf, PagesThroughQpdfAndPoppler) {
    // 100 x 75 pixels at 75 dpi are 96 x 72 points: poppler at 300 dpi draws each pixel as 4 x 4, whose
    // centres are compared.
    struct Case {
        Page page;
        const char* list;  // what pdfimages lists: type, size, colour, components, bits, encoding
        double mean;
    };
    const Case cases[] = {
        {{100, 75, 24, 75}, "image     100    75  rgb     3   8  jpeg", 8},
        {{100, 75, 8, 75}, "image     100    75  rgb     3   8  jpeg", 8},
        {{100, 75, 1, 75}, "image     100    75  gray    1   1  image", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.page.bits << " bits");
        ASSERT_EQ(save(c.page), 0);
        // Objects 1, 3 and 4 are empty: qpdf says so, and nothing else.
        pages::Run check = pages::Shell("qpdf --check " + pages::Quoted(host()));
        EXPECT_EQ(check.status, 3) << check.output;
        std::string warnings;
        const std::string prefix = "WARNING: " + host().string() + " ";
        for (size_t at = 0; (at = check.output.find(prefix, at)) != std::string::npos; ++at) {
            size_t from = at + prefix.size();
            warnings += check.output.substr(from, check.output.find('\n', from) - from) + "\n";
        }
        EXPECT_EQ(warnings,
                  "(object 1 0, offset 18): empty object treated as null\n"
                  "(object 3 0, offset 82): empty object treated as null\n"
                  "(object 4 0, offset 97): empty object treated as null\n")
            << check.output;
        pages::Run list = pages::Shell("pdfimages -list " + pages::Quoted(host()));
        EXPECT_NE(list.output.find(c.list), std::string::npos) << list.output;
        std::filesystem::path out = host().parent_path() / "render";
        pages::Run render = pages::Shell("pdftoppm -r 300 -singlefile " + pages::Quoted(host()) + " " + pages::Quoted(out));
        ASSERT_EQ(render.status, 0) << render.output;
        pages::Raster rendered = pages::Centres(pages::ReadPnm(pages::ReadHostFile(out.string() + ".ppm")), 4);
        pages::Difference d = pages::Compare(rendered, c.page);
        EXPECT_LE(d.mean, c.mean) << d.largest;
        // The image itself, as poppler takes it out of the file.
        pages::Run image = pages::Shell("cd " + pages::Quoted(host().parent_path()) + " && pdfimages -png page.pdf img && pngtopnm img-000.png > img.pnm");
        ASSERT_EQ(image.status, 0) << image.output;
        d = pages::Compare(pages::ReadPnm(pages::ReadHostFile(host().parent_path() / "img.pnm")), c.page);
        EXPECT_LE(d.mean, c.mean) << d.largest;
    }
}

TEST_F(StreamPdf, PageSizeInPointsFromTheNearestWholeResolution) {
    // 11811 pixels per metre reads as 299.9994 dpi: an A4 width of 2480 pixels is 595 points.
    ASSERT_EQ(save(Page{2480, 16, 1, 300}), 0);
    EXPECT_NE(pdf().find("/MediaBox [ 0 0 595 3 ]"), std::string::npos);
}

TEST_F(StreamPdf, NothingWrittenIsAFailure) {
    std::string page32 = pages::Bitmap(Page{16, 16, 24, 300});
    page32[28] = 32;
    struct Case {
        const char* name;
        std::string bytes;
        const char* fault;  // with the file's name as its detail
        bool fileMade;      // a file that only has the objects before the page
    };
    const Case cases[] = {
        {"no picture", "no picture", nullptr, true},
        {"a 32-bit page", page32, nullptr, true},
        {"a file that cannot be created", pages::Bitmap(Page{16, 16, 24, 300}), "_wfopen", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(kFile);
        if (c.fault) platform::setFault(c.fault, platform::Fault().onlyFor(platform::toUtf8(kFile)));
        EXPECT_EQ(saveBytes(c.bytes), -1);
        platform::clearFaults();
        EXPECT_EQ(GetFileAttributesW(kFile) != INVALID_FILE_ATTRIBUTES, c.fileMade);
    }
    EXPECT_EQ(SavePdfPage(nullptr, kFile), -1);
    // The temporary JPEG cannot be written: the page is left out.
    platform::setFault("WriteFile", platform::Fault());
    EXPECT_EQ(save(Page{16, 16, 24, 300}), -1);
    platform::clearFaults();
    // The writer is closed again after each call: the next page makes a good file.
    EXPECT_EQ(save(Page{16, 16, 24, 300}), 0);
    EXPECT_EQ(pages::Shell("qpdf --check " + pages::Quoted(host())).status, 3);
}

TEST_F(StreamPdf, TemporaryFilesGoAndOthersStay) {
    machine.writeFile(temp + u"temp.bmp", "another program's");
    ASSERT_EQ(save(Page{40, 40, 1, 300}), 0);
    ASSERT_EQ(save(Page{40, 40, 24, 300}), 0);
    EXPECT_EQ(machine.filesIn(temp), std::vector<std::string>{"temp.bmp"});
    EXPECT_EQ(machine.readFile(temp + u"temp.bmp"), "another program's");
}

}  // namespace
