// The layer's item lists, shared by the shell's files: one item holding an absolute Windows path.
#pragma once

#include <optional>
#include <string>

#include "win/shell.h"

namespace platform::detail {

// A new list (task memory) naming the path; null when it would not fit in one item.
PIDLIST_ABSOLUTE makeItemList(const std::u16string& path);
// The path of one of the layer's lists, or nothing for any other (or NULL).
std::optional<std::u16string> itemListPath(PCIDLIST_ABSOLUTE list);

}  // namespace platform::detail
