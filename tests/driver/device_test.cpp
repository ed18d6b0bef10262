// Devices as the engine makes them: DrvEnablePDEV with good, short and damaged DEVMODEs, the
// capability records, the grey palette, the record checks and the carry-over on DrvResetPDEV.
#include <random>

#include "platform/printing.h"
#include "rastrel.h"
#include "support/driver_fixture.h"

namespace {

// A small sound 24-bit BMP, grey.
std::string DevmodeTestBitmap() {
    std::string file(54 + 8 * 24, '\x80');
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    std::memset(file.data(), 0, 54);
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, 8);
    put32(22, 8);
    file[26] = 1;
    file[28] = 24;
    return file;
}

class DeviceTest : public DriverTest {
protected:
    // Enables a device from a DEVMODE held in a block of exactly its size.
    std::optional<platform::testing::DriverHost::Device> Enable(ExactDevmode& dm, ULONG gdiSize = sizeof(GDIINFO),
                                                                ULONG devSize = sizeof(DEVINFO)) {
        return host().enablePdev(dm.get(), printer(), gdiSize, devSize);
    }
    std::optional<platform::testing::DriverHost::Device> Enable(const DevmodeBuilder& dm) {
        ExactDevmode exact(dm.bytes());
        return Enable(exact);
    }
    static const DriverPdev& Record(const platform::testing::DriverHost::Device& device) {
        return *reinterpret_cast<const DriverPdev*>(device.pdev);
    }
};

TEST_F(DeviceTest, CapabilitiesOfAnA4Page) {
    size_t palettesBefore = platform::livePaletteCount();
    auto device = Enable(DevmodeBuilder());
    ASSERT_TRUE(device);
    const GDIINFO& gdi = device->gdi;
    EXPECT_EQ(gdi.ulVersion, 0x500u);
    EXPECT_EQ(gdi.ulTechnology, static_cast<ULONG>(DT_RASPRINTER));
    EXPECT_EQ(gdi.ulLogPixelsX, 600u);
    EXPECT_EQ(gdi.ulLogPixelsY, 600u);
    EXPECT_EQ(gdi.ulHorzRes, 4736u);
    EXPECT_EQ(gdi.ulVertRes, 6784u);
    EXPECT_EQ(gdi.ulHorzSize, 200u);  // 4736 px at 600 dpi = 200.5 mm
    EXPECT_EQ(gdi.ulVertSize, 287u);
    EXPECT_EQ(gdi.cBitsPixel, 8u);
    EXPECT_EQ(gdi.cPlanes, 1u);
    EXPECT_EQ(gdi.ulHTOutputFormat, static_cast<ULONG>(HT_FORMAT_8BPP));
    EXPECT_EQ(gdi.ulAspectX, 600u);
    EXPECT_EQ(gdi.ulAspectY, 600u);
    EXPECT_EQ(gdi.ulAspectXY, 848u);
    EXPECT_EQ(gdi.xStyleStep, 1);
    EXPECT_EQ(gdi.yStyleStep, 1);
    EXPECT_EQ(gdi.denStyleStep, 24);
    EXPECT_EQ(gdi.szlPhysSize.cx, 4960);
    EXPECT_EQ(gdi.szlPhysSize.cy, 7015);
    EXPECT_EQ(gdi.ptlPhysOffset.x, (4960 - 4736) / 2);
    EXPECT_EQ(gdi.ptlPhysOffset.y, (7015 - 6784) / 2);
    EXPECT_EQ(gdi.ulDevicePelsDPI, 600u);

    const DEVINFO& dev = device->dev;
    EXPECT_EQ(dev.flGraphicsCaps, 0xF0008410u);
    EXPECT_EQ(dev.iDitherFormat, static_cast<ULONG>(BMF_8BPP));
    EXPECT_EQ(dev.cxDither, 8);
    EXPECT_EQ(dev.cyDither, 8);
    auto colors = platform::paletteColors(dev.hpalDefault);
    ASSERT_TRUE(colors);
    ASSERT_EQ(colors->size(), 256u);
    for (ULONG i = 0; i < 256; ++i) ASSERT_EQ((*colors)[i], i * 0x010101) << i;
    for (HSURF pattern : device->patterns) EXPECT_EQ(pattern, nullptr);

    const DriverPdev& pdev = Record(*device);
    EXPECT_EQ(pdev.printer, printer());
    host().completePdev(device->pdev, reinterpret_cast<HDEV>(static_cast<uintptr_t>(0x1234)));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pdev.engineDevice), 0x1234u);
    host().disablePdev(device->pdev);
    EXPECT_EQ(platform::livePaletteCount(), palettesBefore);
}

TEST_F(DeviceTest, LogicalResolutionFollowsZoomAndScale) {
    struct Case {
        int16_t zoom, scale;
        ULONG dpi;
        LONG styleStep;
    } cases[] = {{50, 100, 300, 12}, {200, 50, 600, 24}, {25, 10, 15, 0}, {400, 400, 9600, 384}, {100, 10, 60, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " scale " << c.scale);
        auto device = Enable(DevmodeBuilder().zoom(c.zoom).scale(c.scale));
        ASSERT_TRUE(device);
        EXPECT_EQ(device->gdi.ulLogPixelsX, c.dpi);
        EXPECT_EQ(device->gdi.ulLogPixelsY, c.dpi);
        EXPECT_EQ(device->gdi.denStyleStep, c.styleStep);
        EXPECT_EQ(device->gdi.ulHorzSize, static_cast<ULONG>(device->gdi.ulHorzRes * 25.4 / c.dpi));
        if (c.zoom != 100) {
            EXPECT_EQ(device->gdi.szlPhysSize.cx, static_cast<LONG>(4960 * c.zoom / 100));
        }
        host().disablePdev(device->pdev);
    }
}

TEST_F(DeviceTest, CapabilityBuffersAreFilledOnlyAsFarAsTheyReach) {
    for (ULONG size : {400u, 320u, 100u, 0u}) {
        SCOPED_TRACE(testing::Message() << "buffer " << size);
        ExactDevmode dm(DevmodeBuilder().bytes());
        auto device = Enable(dm, size, size);
        ASSERT_TRUE(device);
        const auto& gdi = device->gdiBytes;
        size_t written = std::min<size_t>(size, 320);
        for (size_t i = written; i < gdi.size(); ++i) ASSERT_EQ(gdi[i], 0xCC) << i;
        if (written >= 4) {
            EXPECT_EQ(device->gdi.ulVersion, 0x500u);
        }
        const auto& dev = device->devBytes;
        for (size_t i = std::min<size_t>(size, 312); i < dev.size(); ++i) ASSERT_EQ(dev[i], 0xCC) << i;
        host().disablePdev(device->pdev);
    }
}

TEST_F(DeviceTest, TheEnginesFullDevmodeIsRepairedInPlace) {
    ExactDevmode dm(DevmodeBuilder().pagesPerSheet(3).zoom(900).put32(220, 0).bytes());
    auto device = Enable(dm);
    ASSERT_TRUE(device);
    EXPECT_EQ(dm.i16(500), 1);
    EXPECT_EQ(dm.i16(2176), 100);
    EXPECT_EQ(dm.i16(220), 0x5250);  // "PR" of "PRIV"
    EXPECT_EQ(std::memcmp(Record(*device).devmodeCopy, dm.bytes(), kPrivateDevmodeSize), 0);
    host().disablePdev(device->pdev);
}

class ShortDevmodeTest : public DeviceTest {
protected:
    // The printer's default prints 4 pages a sheet in landscape, so that what comes from it shows.
    std::string defaultDevmode() const override { return DevmodeBuilder().pagesPerSheet(4).landscape().str(); }
};

TEST_F(ShortDevmodeTest, ShortDevmodeIsLaidOverThePrintersDefault) {
    // Only the public part: the private settings come from the default, the public ones from the engine.
    DevmodeBuilder publicOnly;
    publicOnly.orientation(DMORIENT_PORTRAIT).paper(DMPAPER_LETTER).sizes(220, 0);
    ExactDevmode dm(publicOnly.bytes());
    auto device = Enable(dm);
    ASSERT_TRUE(device);
    const DriverPdev& pdev = Record(*device);
    EXPECT_EQ(pdev.pagesPerSheet, 4);
    EXPECT_EQ(pdev.orientation, static_cast<DWORD>(DMORIENT_PORTRAIT));
    EXPECT_EQ(pdev.paperId, DMPAPER_LETTER);
    for (BYTE b : pdev.devmodeCopy) ASSERT_EQ(b, 0);  // not a full DEVMODE: not kept
    host().disablePdev(device->pdev);

    // Part of the private part given: repairs land inside it and nowhere past it.
    DevmodeBuilder partial;
    partial.pagesPerSheet(3).sizes(220, 290);
    ExactDevmode dm2(partial.bytes());
    auto device2 = Enable(dm2);
    ASSERT_TRUE(device2);
    EXPECT_EQ(dm2.i16(500), 1);
    EXPECT_EQ(Record(*device2).pagesPerSheet, 1);
    host().disablePdev(device2->pdev);

    // 5063 bytes are not a full DEVMODE.
    DevmodeBuilder almost;
    almost.sizes(220, 4843);
    ExactDevmode dm3(almost.bytes());
    auto device3 = Enable(dm3);
    ASSERT_TRUE(device3);
    for (BYTE b : Record(*device3).devmodeCopy) ASSERT_EQ(b, 0);
    host().disablePdev(device3->pdev);
}

TEST_F(ShortDevmodeTest, NoDevmodeTakesTheValidatedDefaultWithoutChangingIt) {
    std::string stored = DevmodeBuilder().pagesPerSheet(4).landscape().put16(500, 5).str();
    InstallTestPrinter(stored);
    auto device = host().enablePdev(nullptr, printer());
    ASSERT_TRUE(device);
    EXPECT_EQ(Record(*device).pagesPerSheet, 1);  // 5 repaired
    EXPECT_EQ(Record(*device).orientation, static_cast<DWORD>(DMORIENT_LANDSCAPE));
    host().disablePdev(device->pdev);
    platform::testing::PrinterHandle again(kTestPrinter);
    std::vector<unsigned char> now(kPrivateDevmodeSize);
    ASSERT_EQ(DocumentPropertiesW(nullptr, again.get(), nullptr, reinterpret_cast<DEVMODEW*>(now.data()), nullptr,
                                  DM_OUT_BUFFER),
              IDOK);
    EXPECT_EQ(std::string(now.begin(), now.end()), stored);
}

TEST_F(DeviceTest, FailuresReleaseWhatWasMade) {
    size_t palettes = platform::livePaletteCount();
    struct Case {
        const char* function;
        platform::Fault fault;
        bool withDevmode;
    } cases[] = {
        {"LocalAlloc", platform::Fault(), true},
        {"LocalAlloc", platform::Fault().skipping(1), true},
        {"EngCreatePalette", platform::Fault(), true},
        {"DocumentPropertiesW", platform::Fault().returning(-1), false},
        {"DocumentPropertiesW", platform::Fault().skipping(1).returning(2), false},  // the copy is not IDOK
        {"GetPrinterW", platform::Fault().failing(-1), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.function << " skip " << c.fault.skip);
        platform::clearFaults();
        platform::setFault(c.function, c.fault);
        ExactDevmode dm(DevmodeBuilder().bytes());
        EXPECT_FALSE(host().enablePdev(c.withDevmode ? dm.get() : nullptr, printer()));
        EXPECT_EQ(platform::livePaletteCount(), palettes);
    }
}

TEST_F(DeviceTest, DamagedAndTruncatedDevmodesNeverBreakTheDevice) {
    std::mt19937 random(20261210);
    const size_t sizes[] = {72, 73, 100, 219, 220, 221, 500, 1000, 2995, 4000, 5063, 5064, 5065, 8000};
    for (size_t size : sizes) {
        for (int round = 0; round < 8; ++round) {
            SCOPED_TRACE(testing::Message() << "size " << size << " round " << round);
            std::vector<unsigned char> bytes(size);
            for (auto& b : bytes) b = static_cast<unsigned char>(random());
            if (round % 2 == 0) {  // half of them: plausible public fields, garbage behind
                DevmodeBuilder base;
                std::memcpy(bytes.data(), base.bytes().data(), std::min<size_t>(size, 220));
            }
            uint16_t dmSize = static_cast<uint16_t>(std::min<size_t>(size, 220));
            uint16_t extra = static_cast<uint16_t>(size - dmSize);
            std::memcpy(bytes.data() + 68, &dmSize, 2);
            std::memcpy(bytes.data() + 70, &extra, 2);
            ExactDevmode dm(bytes);
            auto device = Enable(dm);
            ASSERT_TRUE(device);
            const DriverPdev& pdev = Record(*device);
            EXPECT_GT(device->gdi.ulLogPixelsX, 0u);
            EXPECT_GT(pdev.printableWidth, 0);
            EXPECT_GT(pdev.printableHeight, 0);
            EXPECT_GT(pdev.bandWidth, 0);
            EXPECT_LE(pdev.bandWidth, 2 * 5120);
            EXPECT_TRUE(pdev.pagesPerSheet == 1 || pdev.pagesPerSheet == 2 || pdev.pagesPerSheet == 4 ||
                        pdev.pagesPerSheet == 9);
            EXPECT_GE(pdev.copies, 1);
            host().disablePdev(device->pdev);
        }
    }
    // Size fields that do not even cover themselves: the printer's default is used.
    std::vector<unsigned char> tiny(72, 0xFF);
    tiny[68] = 10;
    tiny[69] = 0;
    tiny[70] = 0;
    tiny[71] = 0;
    ExactDevmode dm(tiny);
    auto device = Enable(dm);
    ASSERT_TRUE(device);
    EXPECT_EQ(Record(*device).paperId, DMPAPER_A4);
    EXPECT_EQ(std::vector<unsigned char>(dm.bytes(), dm.bytes() + 72), tiny);  // left as it was
    host().disablePdev(device->pdev);

    // Random private parts print a page too: the fields that choose the watermark, N-up, poster and
    // zoom paths are set to random values in and around their ranges, the rest is noise.
    machine_.writeFile(u"C:\\ProgramData\\mark.bmp", DevmodeTestBitmap());
    const int16_t pages[] = {1, 2, 4, 9, 22, 3};
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(testing::Message() << "printing round " << round);
        std::vector<unsigned char> bytes = DevmodeBuilder().bytes();
        for (size_t i = 226; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(random());
        DevmodeBuilder noisy(std::string(bytes.begin(), bytes.end()));
        noisy.put16(2182, static_cast<int16_t>(round % 3 == 2 ? 2 : 1))
            .put16(500, pages[random() % 6])
            .put16(502, static_cast<int16_t>(int(random() % 9) - 1))
            .put16(2176, static_cast<int16_t>(int(random() % 500) - 50))
            .put16(2964, static_cast<int16_t>(random() % 160))
            .put16(2978, static_cast<int16_t>(round % 4 == 0 ? 5 : 1))
            .put16(2990, static_cast<int16_t>(random()))
            .put16(2992, static_cast<int16_t>(random()))
            .putText(2380, 32, u"Arial")
            .putText(2444, 260, u"C:\\ProgramData\\mark.bmp");
        platform::printing::PrinterDevice device(kTestPrinter, noisy.devmode());
        ASSERT_TRUE(device.startDoc(u"noise")) << device.lastError();
        ASSERT_TRUE(device.startPage()) << device.lastError();
        device.fillRect({100, 100, 300, 300}, 0);
        EXPECT_TRUE(device.endPage()) << device.lastError();
        EXPECT_TRUE(device.endDoc()) << device.lastError();
    }
}

TEST_F(DeviceTest, SurfacesAreCheckedAgainstTheirRecord) {
    auto device = Enable(DevmodeBuilder());
    ASSERT_TRUE(device);
    auto* pdev = reinterpret_cast<DriverPdev*>(device->pdev);
    SURFOBJ surface{};
    surface.dhpdev = device->pdev;
    EXPECT_EQ(PdevFromSurface(&surface), pdev);
    EXPECT_EQ(pdev->currentSurface, &surface);

    struct Damage {
        const char* what;
        DWORD* field;
        DWORD bad;
    } damages[] = {{"size", &pdev->size, static_cast<DWORD>(sizeof(DriverPdev) - 4)},
                   {"head", &pdev->headSignature, 0x73745045},
                   {"tail", &pdev->tailSignature, 0}};
    for (const auto& d : damages) {
        SCOPED_TRACE(d.what);
        DWORD good = *d.field;
        *d.field = d.bad;
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(PdevFromSurface(&surface), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        *d.field = good;
    }
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(PdevFromSurface(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    platform::setFault("EngCheckAbort", {});
    EXPECT_EQ(PdevFromSurface(&surface), nullptr);
    EXPECT_EQ(pdev->aborted, 1u);
    EXPECT_EQ(PdevFromSurface(&surface), pdev);  // the abort is remembered, not torn down
    host().disablePdev(device->pdev);
}

TEST_F(DeviceTest, ResetCarriesTheJobToTheNewRecord) {
    auto old = Enable(DevmodeBuilder().copies(2).collate(true));
    auto neu = Enable(DevmodeBuilder().copies(2).collate(true));
    ASSERT_TRUE(old && neu);
    auto* from = reinterpret_cast<DriverPdev*>(old->pdev);
    auto* to = reinterpret_cast<DriverPdev*>(neu->pdev);
    from->jobId = 7;
    EXPECT_TRUE(host().resetPdev(old->pdev, neu->pdev));
    EXPECT_EQ(to->jobId, 7u);

    // A started job: its spool files, page table and counters move, and the old record lets go.
    from->jobStarted = 1;
    from->sheetsSent = 3;
    from->pagesFinished = 3;
    from->spooledPages = 3;
    from->pageTable[0] = from->pageTable[1] = from->pageTable[2] = 100;
    HANDLE file = CreateFileW(u"C:\\ProgramData\\ps1.TMP", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    from->pageSpool = file;
    std::strcpy(from->pageSpoolPath, "C:\\ProgramData\\ps1.TMP");
    EXPECT_TRUE(host().resetPdev(old->pdev, neu->pdev));
    EXPECT_EQ(to->pageSpool, file);
    EXPECT_STREQ(to->pageSpoolPath, "C:\\ProgramData\\ps1.TMP");
    EXPECT_EQ(to->spooledPages, 3);
    EXPECT_EQ(to->pageTable[2], 100u);
    EXPECT_EQ(to->sheetsSent, 3u);
    EXPECT_EQ(to->pagesFinished, 3);
    EXPECT_EQ(to->jobStarted, 1u);
    EXPECT_EQ(from->pageSpool, nullptr);
    EXPECT_EQ(from->pageSpoolPath[0], 0);
    EXPECT_EQ(from->spooledPages, 0);

    host().disablePdev(old->pdev);  // must not close the file the new record now owns
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "x", 1, &written, nullptr));
    host().disablePdev(neu->pdev);  // a job that never ended: its files go with the device
    EXPECT_FALSE(machine_.readFile(u"C:\\ProgramData\\ps1.TMP"));

    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(host().resetPdev(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
