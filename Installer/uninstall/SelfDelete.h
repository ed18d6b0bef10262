// The uninstaller's self-deletion: a hidden batch file in the temporary folder that deletes the program
// once it has ended, and then itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace uninstall {

// The batch file's name in the temporary folder.
inline constexpr char16_t kSelfDeleteBatchName[] = u"DelSelf.bat";

// The batch's four lines, joined by line feeds (the last without one): a label, a delete of the program,
// a jump back while the program still exists, and a delete of the batch itself.
std::u16string SelfDeleteBatchText(std::u16string_view programPath, std::u16string_view batchPath);

// The batch's bytes in the ANSI code page; nothing when a path does not convert exactly (a default
// character would be read as a wildcard by `del`) or holds "%" (which the batch would expand).
std::optional<std::string> SelfDeleteBatchBytes(std::u16string_view programPath, std::u16string_view batchPath);

// Writes the batch into the temporary folder and starts it hidden; the program's read-only attribute is
// cleared first, since `del` never deletes a read-only file and the batch would loop for ever. Writes and
// starts nothing when a path was cut at its capacity or the bytes cannot be made.
void DeleteSelf();

}  // namespace uninstall
