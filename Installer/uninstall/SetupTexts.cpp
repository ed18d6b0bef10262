// The uninstaller's texts.
#include "SetupTexts.h"

#include "afx/afxres.h"
#include "win/resources.h"
#include "win/user.h"

namespace uninstall {

namespace {
constexpr char16_t kHeadingMarker[] = u"%Text%";
constexpr char16_t kLoadStringError[] = u"Load String Error!";
}  // namespace

std::u16string& ProductHeading() {
    static std::u16string heading;
    return heading;
}

std::u16string& MultiFuncType() {
    static std::u16string type;
    return type;
}

bool IsMultiFunctionProduct() { return MultiFuncType() == u"1"; }

std::u16string ReplaceHeading(std::u16string text, std::u16string_view heading) {
    const std::u16string_view marker(kHeadingMarker);
    for (size_t at = text.find(marker); at != std::u16string::npos; at = text.find(marker, at + heading.size()))
        text.replace(at, marker.size(), heading);
    return text;
}

bool LoadResourceText(UINT id, std::u16string& text) {
    text.clear();
    const WCHAR* stored = nullptr;
    const int length = LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&stored), 0);
    if (length <= 0 || !stored) return false;
    text.assign(stored, static_cast<size_t>(length));
    return true;
}

std::u16string LoadHeadedText(UINT id) {
    std::u16string text;
    if (!LoadResourceText(id, text)) return {};
    return ReplaceHeading(std::move(text), ProductHeading());
}

void SetDialogTexts(HWND dialog, const ControlText* table, int count) {
    for (int i = 0; table && i < count; ++i) {
        std::u16string text;
        if (!LoadResourceText(table[i].id, text)) text = kLoadStringError;
        SetDlgItemTextW(dialog, table[i].control, ReplaceHeading(std::move(text), ProductHeading()).c_str());
    }
}

}  // namespace uninstall
