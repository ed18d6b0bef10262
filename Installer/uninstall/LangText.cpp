#include "LangText.h"

#include <algorithm>
#include <mutex>

#include "win/resources.h"

namespace uninstall {
namespace {

std::mutex gLangMutex;
HINSTANCE gLangModule = nullptr;
std::u16string gHeading;

}  // namespace

void setLangModule(HINSTANCE module) {
    std::lock_guard<std::mutex> lock(gLangMutex);
    gLangModule = module;
}

void setLangHeading(std::u16string_view heading) {
    std::lock_guard<std::mutex> lock(gLangMutex);
    gHeading.assign(heading);
}

int LoadLangText(UINT id, WCHAR* output) {
    if (!output) return 1;
    HINSTANCE module;
    std::u16string heading;
    {
        std::lock_guard<std::mutex> lock(gLangMutex);
        module = gLangModule;
        heading = gHeading;
    }
    WCHAR loaded[kLangTextCapacity] = {};
    const int length = LoadStringW(module, id, loaded, static_cast<int>(kLangTextCapacity));
    if (length <= 0) return 0;
    std::u16string text(loaded, static_cast<size_t>(length));
    static constexpr std::u16string_view kMarker = u"%Text%";
    for (size_t at = text.find(kMarker); at != std::u16string::npos; at = text.find(kMarker, at + heading.size()))
        text.replace(at, kMarker.size(), heading);
    const size_t kept = std::min(text.size(), kLangTextCapacity - 1);
    text.copy(output, kept);
    output[kept] = 0;
    return 1;
}

}  // namespace uninstall
