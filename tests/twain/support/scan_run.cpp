#include "scan_run.h"

#include <gtest/gtest.h>

#include <cstring>

#include "win/files.h"
#include "win/kernel.h"

namespace twaintest {

const char16_t kSaveFolder[] = u"C:\\Users\\User\\Pictures\\Scans";

ScanRun::ScanRun(const std::string& script, const std::u16string& outputName) : twain(new CScanTransfer) {
    machine.installEncoder();
    machine.installSource("a", "product Scanner A\n" + script);
    EXPECT_TRUE(CreateDirectoryW(kSaveFolder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    machine.twain = twain.get();
    EXPECT_TRUE(twain->m_imageSaver.LoadImageEncoder());
    EXPECT_TRUE(twain->InitTwain(machine.window()));
    EXPECT_TRUE(twain->SelectSource("Scanner A"));
    EXPECT_TRUE(twain->OpenSource());
    EXPECT_TRUE(twain->RegisterCallback(0));
    lstrcpynW(twain->m_settings.szFolder, kSaveFolder, 260);
    twain->m_strOutputPath = CString(kSaveFolder) + u"\\" + outputName.c_str();
    twain->m_imageSaver.SetFormatFromPath(twain->m_strOutputPath);
}

bool ScanRun::scan(const std::function<bool(const std::vector<std::string>&)>& done) {
    if (!twain->EnableSource(TRUE)) return false;
    return machine.pumpUntil([&] {
        const std::vector<std::string> lines = journal();
        if (done) return done(lines);
        return lines.size() > 4 && lines.back().size() >= 7 && lines.back().compare(lines.back().size() - 7, 7, "state 5") == 0;
    });
}

std::vector<std::string> ScanRun::transferJournal() const {
    const std::vector<std::string> lines = journal();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("IMAGE/IMAGEINFO", 0) == 0) return {lines.begin() + static_cast<std::ptrdiff_t>(i), lines.end()};
    return {};
}

Raster readBmp(const std::string& bytes) {
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    auto u16 = [&](size_t at) {
        uint16_t v = 0;
        std::memcpy(&v, bytes.data() + at, 2);
        return v;
    };
    if (bytes.size() < 54 || bytes.compare(0, 2, "BM") != 0) return {};
    Raster r;
    const uint32_t offset = u32(10);
    r.width = static_cast<int>(u32(18));
    const int32_t height = static_cast<int32_t>(u32(22));
    r.height = height < 0 ? -height : height;
    const int bits = u16(28);
    const size_t palette = 14 + u32(14);
    r.channels = bits == 24 ? 3 : 1;
    const size_t rowBytes = ((static_cast<size_t>(bits) * r.width + 31) / 32) * 4;
    if (bytes.size() < offset + rowBytes * r.height) return {};
    for (int y = 0; y < r.height; ++y) {
        const size_t row = height < 0 ? y : r.height - 1 - y;
        const auto* in = reinterpret_cast<const uint8_t*>(bytes.data()) + offset + row * rowBytes;
        for (int x = 0; x < r.width; ++x) {
            if (bits == 24) {
                r.samples.push_back(in[3 * x + 2]);
                r.samples.push_back(in[3 * x + 1]);
                r.samples.push_back(in[3 * x]);
            } else {
                const int index = bits == 8 ? in[x] : (in[x / 8] >> (7 - x % 8)) & 1;
                r.samples.push_back(static_cast<uint8_t>(bytes[palette + 4 * index]));
            }
        }
    }
    return r;
}

}  // namespace twaintest
