// Removing what Plug and Play left of the product: its OEM INF files, found by a model line in them.
#pragma once

#include <string_view>

namespace uninstall {

// UninstallOemInf's answers.
inline constexpr int kOemInfSearched = 0;
inline constexpr int kOemInfNoneFound = 3;

// Uninstalls every "oem*.inf" of the INF folder whose line `modelKey` in one of the sections
// "Zandrel", "Zandrel.NTx86", "Printer", "Printer.NTx86" (searched in that order, each with a fresh
// search) has exactly `expectedValue` on its right. kOemInfNoneFound when a section's search finds no
// INF at all (the later sections are not searched). An empty key or value does nothing: every INF
// without the line would match it. The INF folder's attributes are kept.
int UninstallOemInf(std::u16string_view modelKey, std::u16string_view expectedValue);

}  // namespace uninstall
