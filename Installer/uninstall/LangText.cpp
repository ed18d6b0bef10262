#include "LangText.h"

#include <algorithm>

#include "afx/afxres.h"
#include "win/resources.h"

namespace uninstall {
namespace {
constexpr std::u16string_view kHeadingMarker = u"%Text%";
}  // namespace

std::u16string& ProductHeading() {
    static std::u16string heading;
    return heading;
}

void setLangModule(HINSTANCE module) { AfxSetResourceHandle(module); }

void setLangHeading(std::u16string_view heading) { ProductHeading().assign(heading); }

std::u16string ReplaceHeading(std::u16string text, std::u16string_view heading) {
    for (size_t at = text.find(kHeadingMarker); at != std::u16string::npos; at = text.find(kHeadingMarker, at + heading.size()))
        text.replace(at, kHeadingMarker.size(), heading);
    return text;
}

bool LoadResourceText(UINT id, std::u16string& text, HINSTANCE module) {
    text.clear();
    const WCHAR* stored = nullptr;
    const int length = LoadStringW(module ? module : AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&stored), 0);
    if (length <= 0 || !stored) return false;
    text.assign(stored, static_cast<size_t>(length));
    return true;
}

int LoadLangText(UINT id, WCHAR* output) {
    if (!output) return 1;
    std::u16string text;
    if (!LoadResourceText(id, text)) return 0;
    text = ReplaceHeading(std::move(text), ProductHeading());
    const size_t kept = std::min(text.size(), kLangTextCapacity - 1);
    text.copy(output, kept);
    output[kept] = 0;
    return 1;
}

}  // namespace uninstall
