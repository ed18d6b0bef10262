// The uninstaller's texts: the product heading put in place of "%Text%", texts from the current
// resource module (the language library, else the program's own Simplified Chinese table), and the
// captions of a page's controls.
#pragma once

#include <string>
#include <string_view>

#include "LangText.h"
#include "win/base.h"

namespace uninstall {

// The capacity of the heading (ProductHeading, LangText.h), and the multifunction type
// (`MultiFunc/Type`), process-wide: set while the main window is built, read by every page and the
// removal.
inline constexpr size_t kHeadingCapacity = 1024;
inline constexpr size_t kMultiFuncTypeCapacity = 256;
std::u16string& MultiFuncType();
// The product is a multifunction product (scanner included) when its type is exactly "1".
bool IsMultiFunctionProduct();

// The text of `id` with the heading put in (LoadLangText, at most 1023 characters); empty when
// missing. Message boxes take their texts here.
std::u16string LoadHeadedText(UINT id);

// One control's caption and the string id it comes from.
struct ControlText {
    int control;
    UINT id;
};
// Sets each control's caption to its text with the heading put in, or to "Load String Error!" when the
// id has no text.
void SetDialogTexts(HWND dialog, const ControlText* table, int count);

}  // namespace uninstall
