// The uninstaller's texts.
#include "SetupTexts.h"

#include "win/user.h"

namespace uninstall {

namespace {
constexpr char16_t kLoadStringError[] = u"Load String Error!";
}  // namespace

std::u16string& MultiFuncType() {
    static std::u16string type;
    return type;
}

bool IsMultiFunctionProduct() { return MultiFuncType() == u"1"; }

std::u16string LoadHeadedText(UINT id) {
    WCHAR text[kLangTextCapacity] = {};
    LoadLangText(id, text);
    return text;
}

void SetDialogTexts(HWND dialog, const ControlText* table, int count) {
    for (int i = 0; table && i < count; ++i) {
        std::u16string text;
        if (!LoadResourceText(table[i].id, text)) text = kLoadStringError;
        SetDlgItemTextW(dialog, table[i].control, ReplaceHeading(std::move(text), ProductHeading()).c_str());
    }
}

}  // namespace uninstall
