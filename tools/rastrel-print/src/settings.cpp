// Command-line print settings: each option checked against the values the printer accepts, so a
// bad value is refused here rather than repaired quietly by the driver.
#include "rastrel_print/settings.h"

#include "platform/control.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace rastrel_print {

namespace {

std::optional<long> integer(std::string_view text) {
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> decimal(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool bad(std::string* why, std::string text) {
    *why = std::move(text);
    return false;
}

}  // namespace

const std::vector<PaperName>& paperNames() {
    static const std::vector<PaperName> names = {
        {"a4", DMPAPER_A4, "210 x 297 mm"},       {"a5", DMPAPER_A5, "148 x 210 mm"},
        {"a6", 70, "105 x 148 mm"},               {"b5", 13, "182 x 257 mm"},
        {"letter", DMPAPER_LETTER, "8.5 x 11 in"}, {"legal", DMPAPER_LEGAL, "8.5 x 14 in"},
        {"executive", 7, "7.25 x 10.5 in"},       {"statement", 6, "5.5 x 8.5 in"},
        {"folio", 14, "8.5 x 13 in"},             {"postcard", 43, "100 x 148 mm"},
        {"env-10", 20, "4.125 x 9.5 in"},         {"env-monarch", 37, "3.875 x 7.5 in"},
        {"env-dl", 27, "110 x 220 mm"},           {"env-c5", 28, "162 x 229 mm"},
        {"env-c6", 31, "114 x 162 mm"},           {"env-b5", 34, "176 x 250 mm"},
    };
    return names;
}

const std::vector<SettingOption>& settingOptions() {
    static const std::vector<SettingOption> options = {
        {"--paper", "NAME|WxH", "paper by name, or a custom size in mm (75..216 x 148..356)"},
        {"--landscape", nullptr, "landscape orientation"},
        {"--portrait", nullptr, "portrait orientation"},
        {"--resolution", "600|1200", "output resolution in dpi"},
        {"--copies", "N", "copies (1..999)"},
        {"--collate", nullptr, "collate the copies"},
        {"--no-collate", nullptr, "do not collate the copies"},
        {"--reverse", nullptr, "print the pages in reverse order"},
        {"--duplex", "none|long|short", "two-sided printing, bound on the long or the short edge"},
        {"--zoom", "PERCENT", "enlarge or shrink the page (25..400)"},
        {"--poster", nullptr, "print each page over 2 x 2 sheets"},
        {"--pages-per-sheet", "1|2|4|9", "pages on one sheet"},
        {"--negative", nullptr, "print the page in negative"},
        {"--rotate180", nullptr, "turn the page by 180 degrees"},
        {"--mirror", nullptr, "mirror the page"},
        {"--density", "0|1|2", "toner density: light, normal, dark"},
        {"--nup-order", "1..6", "order of the pages on an N-up sheet"},
        {"--border", nullptr, "a frame around each page of an N-up sheet"},
        {"--watermark", "TEXT", "a text watermark on every page"},
        {"--watermark-font", "FACE", "its font face (default Arial)"},
        {"--watermark-size", "POINTS", "its size (default 72)"},
        {"--watermark-angle", "DEGREES", "its angle (default 45)"},
        {"--watermark-darkness", "0..4", "its darkness, light to dark (default 2)"},
        {"--watermark-at", "X,Y", "its centre in percent of the page (default: the middle)"},
        {"--watermark-image", "FILE.bmp", "a BMP picture as the watermark"},
        {"--watermark-blend", nullptr, "the picture also tints dark parts of the page"},
        {"--watermark-first-page", nullptr, "mark the first page only"},
    };
    return options;
}

std::optional<bool> settingTakesValue(std::string_view name) {
    for (const SettingOption& o : settingOptions())
        if (name == o.name) return o.value != nullptr;
    return std::nullopt;
}

namespace {

bool takeValue(std::string_view name, std::optional<std::string_view> value, PrintSettings* s, std::string* why);

}  // namespace

bool takeSetting(std::string_view name, std::optional<std::string_view> value, PrintSettings* s, std::string* why) {
    if (!takeValue(name, value, s, why)) return false;
    s->given.emplace_back(name);
    return true;
}

namespace {

bool takeValue(std::string_view name, std::optional<std::string_view> value, PrintSettings* s, std::string* why) {
    auto takes = settingTakesValue(name);
    if (!takes) return bad(why, "unknown option " + std::string(name));
    if (*takes && !value) return bad(why, std::string(name) + " needs a value");
    if (!*takes && value) return bad(why, std::string(name) + " takes no value");
    const std::string v = value ? std::string(*value) : std::string();

    if (name == "--paper") {
        std::string key = lower(v);
        for (const PaperName& p : paperNames())
            if (key == p.name) {
                s->paper = p.id;
                s->customWidth.reset();
                s->customLength.reset();
                return true;
            }
        size_t x = key.find('x');
        if (x != std::string::npos) {
            auto w = decimal(key.substr(0, x)), h = decimal(key.substr(x + 1));
            if (!w || !h) return bad(why, "--paper " + v + ": a custom size is WIDTHxLENGTH in mm, as 150x200");
            if (*w < 75 || *w > 216 || *h < 148 || *h > 356)
                return bad(why, "--paper " + v + ": custom paper is 75 to 216 mm wide and 148 to 356 mm long");
            s->paper = kCustomPaper;
            s->customWidth = static_cast<int16_t>(std::lround(*w * 10));
            s->customLength = static_cast<int16_t>(std::lround(*h * 10));
            return true;
        }
        std::string known;
        for (const PaperName& p : paperNames()) known += (known.empty() ? "" : ", ") + std::string(p.name);
        return bad(why, "--paper " + v + ": unknown paper (known: " + known + "; or WIDTHxLENGTH in mm)");
    }
    if (name == "--landscape") return s->orientation = DMORIENT_LANDSCAPE, true;
    if (name == "--portrait") return s->orientation = DMORIENT_PORTRAIT, true;
    if (name == "--resolution") {
        auto dpi = integer(v);
        if (!dpi || (*dpi != 600 && *dpi != 1200)) return bad(why, "--resolution " + v + ": 600 or 1200");
        s->resolution = static_cast<int16_t>(*dpi);
        return true;
    }
    if (name == "--copies") {
        auto n = integer(v);
        if (!n || *n < 1 || *n > 999) return bad(why, "--copies " + v + ": a number from 1 to 999");
        s->copies = static_cast<int16_t>(*n);
        return true;
    }
    if (name == "--collate") return s->collate = true, true;
    if (name == "--no-collate") return s->collate = false, true;
    if (name == "--reverse") return s->reverse = true, true;
    if (name == "--duplex") {
        std::string key = lower(v);
        if (key == "none") s->duplex = DMDUP_SIMPLEX;
        else if (key == "long") s->duplex = DMDUP_VERTICAL;
        else if (key == "short") s->duplex = DMDUP_HORIZONTAL;
        else return bad(why, "--duplex " + v + ": none, long or short");
        return true;
    }
    if (name == "--zoom") {
        auto n = integer(v);
        if (!n || *n < 25 || *n > 400) return bad(why, "--zoom " + v + ": a percentage from 25 to 400");
        s->zoom = static_cast<int16_t>(*n);
        return true;
    }
    if (name == "--poster") return s->pagesPerSheet = 22, true;
    if (name == "--pages-per-sheet") {
        auto n = integer(v);
        if (!n || (*n != 1 && *n != 2 && *n != 4 && *n != 9)) return bad(why, "--pages-per-sheet " + v + ": 1, 2, 4 or 9");
        s->pagesPerSheet = static_cast<int16_t>(*n);
        return true;
    }
    if (name == "--negative") return s->negative = true, true;
    if (name == "--rotate180") return s->rotate180 = true, true;
    if (name == "--mirror") return s->mirror = true, true;
    if (name == "--density") {
        auto n = integer(v);
        if (!n || *n < 0 || *n > 2) return bad(why, "--density " + v + ": 0 (light), 1 (normal) or 2 (dark)");
        s->density = static_cast<int16_t>(*n);
        return true;
    }
    if (name == "--nup-order") {
        auto n = integer(v);
        if (!n || *n < 1 || *n > 6) return bad(why, "--nup-order " + v + ": 1 to 6");
        s->nupOrder = static_cast<int16_t>(*n);
        return true;
    }
    if (name == "--border") return s->border = true, true;
    if (name == "--watermark") {
        std::u16string text = platform::fromUtf8(v);
        if (text.empty() || text.size() > 63) return bad(why, "--watermark: 1 to 63 characters");
        s->watermarkText = text;
        return true;
    }
    if (name == "--watermark-font") {
        if (v.empty() || v.size() > 31) return bad(why, "--watermark-font: 1 to 31 characters");
        s->watermarkFont = platform::fromUtf8(v);
        return true;
    }
    auto ranged = [&](int low, int high, int16_t* out) {
        auto n = integer(v);
        if (!n || *n < low || *n > high)
            return bad(why, std::string(name) + " " + v + ": " + std::to_string(low) + " to " + std::to_string(high));
        *out = static_cast<int16_t>(*n);
        return true;
    };
    if (name == "--watermark-size") return ranged(4, 400, &s->watermarkSize);
    if (name == "--watermark-angle") return ranged(-360, 360, &s->watermarkAngle);
    if (name == "--watermark-darkness") return ranged(0, 4, &s->watermarkDarkness);
    if (name == "--watermark-at") {
        size_t comma = v.find(',');
        auto x = comma == std::string::npos ? std::nullopt : integer(v.substr(0, comma));
        auto y = comma == std::string::npos ? std::nullopt : integer(v.substr(comma + 1));
        if (!x || !y || *x < 0 || *x > 100 || *y < 0 || *y > 100)
            return bad(why, "--watermark-at " + v + ": X,Y in percent, as 50,30");
        s->watermarkAt = std::make_pair(static_cast<int16_t>(*x), static_cast<int16_t>(*y));
        return true;
    }
    if (name == "--watermark-image") {
        if (v.empty()) return bad(why, "--watermark-image needs a file");
        s->watermarkImage = v;
        return true;
    }
    if (name == "--watermark-blend") return s->watermarkBlend = true, true;
    if (name == "--watermark-first-page") return s->watermarkFirstPage = true, true;
    return bad(why, "unknown option " + std::string(name));
}

}  // namespace

std::optional<std::string> settingsConflict(const PrintSettings& s) {
    auto given = [&](std::string_view name) {
        return std::find(s.given.begin(), s.given.end(), name) != s.given.end();
    };
    // Pairs of which the driver would follow one and drop the other without a word.
    static const std::pair<const char*, const char*> kConflicts[] = {
        {"--poster", "--pages-per-sheet"},
        {"--watermark", "--watermark-image"},
        {"--poster", "--zoom"},
    };
    for (const auto& [first, second] : kConflicts)
        if (given(first) && given(second))
            return std::string(first) + " and " + second + " cannot be used together";
    if (given("--zoom") && given("--pages-per-sheet") && s.pagesPerSheet && *s.pagesPerSheet != 1)
        return "--zoom and --pages-per-sheet " + std::to_string(*s.pagesPerSheet) +
               " cannot be used together: the pages of a sheet take its scale";
    return std::nullopt;
}

std::optional<std::string> spoolLimitProblem(const DevmodeBuilder& dm, int pages) {
    const bool collatedCopies = dm.get16(kCollateOffset) == DMCOLLATE_TRUE && dm.get16(kCopiesOffset) > 1;
    const int16_t duplex = dm.get16(kDuplexOffset);
    const bool spools = collatedCopies || dm.get16(kReverseOffset) != 0 || duplex == DMDUP_VERTICAL ||
                        duplex == DMDUP_HORIZONTAL;
    if (!spools) return std::nullopt;
    const int16_t perSheet = dm.get16(kPagesPerSheetOffset);
    long long sheets = pages;
    if (perSheet == 22)
        sheets = 4LL * pages;
    else if (perSheet == 2 || perSheet == 4 || perSheet == 9)
        sheets = (pages + perSheet - 1) / perSheet;
    if (sheets <= kSpoolSheetLimit) return std::nullopt;
    return "the job makes " + std::to_string(sheets) + " sheets, but a job printed in reverse order, as collated " +
           "copies or on both sides is held by the driver until its end, " + std::to_string(kSpoolSheetLimit) +
           " sheets at most";
}

void applySettings(const PrintSettings& s, DevmodeBuilder& dm) {
    if (s.paper) dm.paper(*s.paper);
    if (s.customWidth && s.customLength) dm.customSize(*s.customWidth, *s.customLength);
    if (s.orientation) dm.orientation(*s.orientation);
    if (s.resolution) dm.quality(*s.resolution);
    if (s.copies) dm.copies(*s.copies);
    if (s.collate) dm.collate(*s.collate);
    if (s.reverse) dm.reverse(*s.reverse);
    if (s.duplex) dm.duplex(*s.duplex);
    if (s.zoom) dm.zoom(*s.zoom);
    if (s.pagesPerSheet) dm.pagesPerSheet(*s.pagesPerSheet);
    if (s.negative) dm.negative(*s.negative);
    if (s.rotate180) dm.rotate180(*s.rotate180);
    if (s.mirror) dm.mirror(*s.mirror);
    if (s.density) dm.density(*s.density);
    if (s.nupOrder) dm.nupOrder(static_cast<int16_t>(*s.nupOrder - 1));
    if (s.border) dm.border(*s.border);
    if (s.watermarkText) {
        dm.textWatermark(*s.watermarkText, s.watermarkFont, s.watermarkSize, s.watermarkAngle, s.watermarkDarkness);
    } else if (s.watermarkImage && !s.watermarkImageOnMachine.empty()) {
        dm.imageWatermark(s.watermarkImageOnMachine, s.watermarkBlend);
    }
    if (s.watermarkAt)
        dm.watermarkPosition(1, s.watermarkAt->first, s.watermarkAt->second);
    else if (s.watermarkText || s.watermarkImage)
        dm.watermarkPosition(5, 0, 0);
    if (s.watermarkText || s.watermarkImage) dm.watermarkFirstPageOnly(s.watermarkFirstPage);
}

}  // namespace rastrel_print
