// The removal log: every refusal of the path guard and every removal that failed (operation, target,
// error), kept for the run and written to the debugger output as it happens. No file is written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/base.h"

namespace uninstall {

struct RemovalLogEntry {
    std::u16string operation;
    std::u16string target;
    DWORD error = ERROR_SUCCESS;
    std::string reason;  // a refusal's reason, empty for a failed system call
};

// Appends an entry and writes it as one debugger line. Any thread may call it.
void logRemovalFailure(std::u16string_view operation, std::u16string_view target, DWORD error,
                       std::string_view reason = {});
std::vector<RemovalLogEntry> removalLog();
void clearRemovalLog();

}  // namespace uninstall
