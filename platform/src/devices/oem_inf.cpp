// The OEM INF files of the Windows INF folder, the machine's record of them ("devices/oem-infs": one
// record an INF, its "oemN.inf" name and the INF it was copied from), and their uninstallation.
#include <string>

#include "../internal.h"
#include "device_tree.h"
#include "win/files.h"
#include "win/setupapi.h"

namespace platform::detail {
namespace {

const std::filesystem::path kOemInfs = std::filesystem::path("devices") / "oem-infs";

std::u16string infFolder() { return windowsFolder() + u"\\inf\\"; }

std::u16string pnfName(const std::u16string& name) {
    const size_t dot = name.rfind(u'.');
    return name.substr(0, dot == std::u16string::npos ? name.size() : dot) + u".PNF";
}

void forgetOemInf(const std::u16string& name) {
    std::vector<std::vector<std::u16string>> kept;
    for (const auto& record : readJournal(kOemInfs, 2))
        if (foldCase(record[0]) != foldCase(name)) kept.push_back(record);
    rewriteJournal(kOemInfs, kept);
}

}  // namespace

bool newdevPresent(std::u16string_view) {
    const MachineSettings settings = machineSettings();
    return settings.osMajor > 6 || (settings.osMajor == 6 && settings.osMinor >= 1);
}

}  // namespace platform::detail

namespace platform {

OemInfRecord installOemInf(std::u16string_view original, std::string_view bytes) {
    const std::u16string folder = detail::infFolder();
    CreateDirectoryW(folder.substr(0, folder.size() - 1).c_str(), nullptr);
    for (unsigned n = 0;; ++n) {
        const std::u16string name = u"oem" + fromUtf8(std::to_string(n)) + u".inf";
        if (GetFileAttributesW((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        detail::writeHostFile(detail::resolvePath(folder + name).host, bytes);
        detail::writeHostFile(detail::resolvePath(folder + detail::pnfName(name)).host, "PNF");
        detail::appendJournal(detail::kOemInfs, {name, std::u16string(original)});
        return OemInfRecord{name, std::u16string(original)};
    }
}

std::vector<OemInfRecord> oemInfs() {
    std::vector<OemInfRecord> all;
    for (const auto& record : detail::readJournal(detail::kOemInfs, 2)) all.push_back(OemInfRecord{record[0], record[1]});
    return all;
}

}  // namespace platform

BOOL WINAPI SetupUninstallOEMInfW(LPCWSTR infFileName, DWORD flags, PVOID) {
    const std::u16string name = infFileName ? infFileName : u"";
    const std::u16string arguments = name + u", " + platform::detail::journalNumber(flags);
    auto answer = [&](BOOL result, DWORD error) {
        SetLastError(error);
        platform::detail::journalCall("SetupUninstallOEMInfW", arguments, result ? u"TRUE" : u"FALSE", error);
        return result;
    };
    if (auto fault = platform::detail::takeFault("SetupUninstallOEMInfW", platform::toUtf8(name)))
        return answer(FALSE, fault->error ? fault->error : ERROR_ACCESS_DENIED);
    // A bare file name of the INF folder only.
    if (name.empty() || name.find_first_of(u"\\/:") != std::u16string::npos || name == u"." || name == u"..")
        return answer(FALSE, ERROR_INVALID_PARAMETER);
    const std::u16string folder = platform::detail::infFolder();
    if (!DeleteFileW((folder + name).c_str())) return answer(FALSE, GetLastError());
    DeleteFileW((folder + platform::detail::pnfName(name)).c_str());
    platform::detail::forgetOemInf(name);
    return answer(TRUE, ERROR_SUCCESS);
}
