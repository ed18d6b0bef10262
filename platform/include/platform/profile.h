// The INI file reader behind the profile calls (GetPrivateProfileStringW and its kin), as a function
// over a file's bytes: what those calls see of a file, without a machine.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::profile {

// One line of an INI file as the profile calls take it.
struct ProfileLine {
    enum class Kind { kOther, kSection, kEntry };
    Kind kind = Kind::kOther;
    std::u16string name;   // the section's name, or the entry's key
    std::u16string value;  // the entry's value (quotes around it dropped)
};

// The lines of a file's bytes: UTF-16 with its byte-order mark, UTF-8 with or without one, else the
// ANSI code page; lines end at CR, LF or CR LF.
std::vector<ProfileLine> readProfileLines(std::string_view bytes);

}  // namespace platform::profile
