// The print settings of rastrel-print's command line, applied to a DEVMODE as the driver's
// settings part would write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devmode_builder.h"

namespace rastrel_print {

struct PrintSettings {
    std::optional<int16_t> paper;           // DEVMODE paper id
    std::optional<int16_t> customWidth;     // 0.1 mm, with paper = kCustomPaper
    std::optional<int16_t> customLength;
    std::optional<int16_t> orientation;     // DMORIENT_*
    std::optional<int16_t> resolution;      // 600 or 1200
    std::optional<int16_t> copies;
    std::optional<bool> collate;
    std::optional<bool> reverse;
    std::optional<int16_t> duplex;          // DMDUP_*
    std::optional<int16_t> zoom;            // percent
    std::optional<int16_t> pagesPerSheet;   // 1, 2, 4, 9; 22 for poster
    std::optional<bool> negative, rotate180, mirror;
    std::optional<int16_t> density;         // 0..2
    std::optional<int16_t> nupOrder;        // 1..6 as people count them; the DEVMODE keeps 0..5
    std::optional<bool> border;
    // Watermark: a text, or a BMP picture (a host file; its path on the machine is set by the
    // caller, who copies it there, in watermarkImageOnMachine).
    std::optional<std::u16string> watermarkText;
    std::u16string watermarkFont = u"Arial";
    int16_t watermarkSize = 72;             // points
    int16_t watermarkAngle = 45;            // degrees
    int16_t watermarkDarkness = 2;          // 0..4, light to dark
    std::optional<std::pair<int16_t, int16_t>> watermarkAt;  // centre, percent of the page
    std::optional<std::string> watermarkImage;
    std::u16string watermarkImageOnMachine;
    bool watermarkBlend = false;
    bool watermarkFirstPage = false;
    std::vector<std::string> given;         // the options taken, by name, in order
};

// The paper id the settings give to a size that is not in the printer's table.
inline constexpr int16_t kCustomPaper = 256;

struct SettingOption {
    const char* name;   // "--paper"
    const char* value;  // what it takes ("NAME|WxH"), or null for a switch
    const char* help;
};
const std::vector<SettingOption>& settingOptions();

// Takes one setting from the command line: `name` is the option ("--paper"), `value` its value
// when the option takes one. Returns false with a message for an unknown option or a bad value.
bool takeSetting(std::string_view name, std::optional<std::string_view> value, PrintSettings* settings,
                 std::string* why);
// Whether the option is a setting, and whether it takes a value.
std::optional<bool> settingTakesValue(std::string_view name);

// Options given together of which the driver would follow one and quietly drop the other: the
// message naming both, or nothing.
std::optional<std::string> settingsConflict(const PrintSettings& settings);

void applySettings(const PrintSettings& settings, DevmodeBuilder& devmode);

// Sheets a job that the driver spools (reverse order, collated copies, both sides) may hold.
inline constexpr long long kSpoolSheetLimit = 3000;
// DEVMODE fields that decide whether and how much the driver spools.
inline constexpr size_t kCopiesOffset = 86, kDuplexOffset = 94, kCollateOffset = 100, kReverseOffset = 230,
                        kPagesPerSheetOffset = 500;
// Why a job of `pages` pages with these settings cannot be printed whole, or nothing.
std::optional<std::string> spoolLimitProblem(const DevmodeBuilder& devmode, int pages);

// Paper names and their ids ("a4" -> 9), as --paper knows them.
struct PaperName {
    const char* name;
    int16_t id;
    const char* size;  // for the usage text
};
const std::vector<PaperName>& paperNames();

}  // namespace rastrel_print
