// The OEM INF files of the Windows INF folder and their uninstallation.
#include <string>

#include "../internal.h"
#include "win/files.h"
#include "win/setupapi.h"

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
    const std::u16string folder = platform::detail::windowsFolder() + u"\\inf\\";
    if (!DeleteFileW((folder + name).c_str())) return answer(FALSE, GetLastError());
    const size_t dot = name.rfind(u'.');
    DeleteFileW((folder + name.substr(0, dot == std::u16string::npos ? name.size() : dot) + u".PNF").c_str());
    return answer(TRUE, ERROR_SUCCESS);
}
