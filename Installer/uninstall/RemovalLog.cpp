// The removal log, in process memory for the run.
#include "RemovalLog.h"

#include <mutex>

#include "win/kernel.h"

namespace uninstall {
namespace {

struct Log {
    std::mutex mutex;
    std::vector<RemovalLogEntry> entries;
};
Log& log() {
    static Log* kept = new Log;
    return *kept;
}

// Reasons and numbers are ASCII.
std::u16string widened(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

void logRemovalFailure(std::u16string_view operation, std::u16string_view target, DWORD error,
                       std::string_view reason) {
    std::u16string line = u"removal failed: " + std::u16string(operation) + u" \"" + std::u16string(target) +
                          u"\" error " + widened(std::to_string(error));
    if (!reason.empty()) line += u" (" + widened(reason) + u")";
    OutputDebugStringW(line.c_str());
    std::lock_guard lock(log().mutex);
    log().entries.push_back({std::u16string(operation), std::u16string(target), error, std::string(reason)});
}

std::vector<RemovalLogEntry> removalLog() {
    std::lock_guard lock(log().mutex);
    return log().entries;
}

void clearRemovalLog() {
    std::lock_guard lock(log().mutex);
    log().entries.clear();
}

}  // namespace uninstall
