// The desktop folder's parsing of paths into item lists, and the folder view that shows a folder with
// items selected (journalled by the machine, never shown on the host).
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "../internal.h"
#include "item_lists.h"
#include "win/com.h"
#include "win/files.h"
#include "win/kernel.h"
#include "win/shell.h"

const IID IID_IShellFolder = {0x000214E6, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

const std::filesystem::path kActions = std::filesystem::path("shell") / "actions";

bool isAbsolutePath(std::u16string_view name) {
    return name.size() >= 3 && name[1] == u':' && (name[2] == u'\\' || name[2] == u'/');
}

class DesktopFolder final : public IShellFolder {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IShellFolder) {
            *object = static_cast<IShellFolder*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The desktop folder lives as long as the process; the count is kept for the callers' balance.
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override { return references_ > 1 ? --references_ : 1; }

    HRESULT ParseDisplayName(HWND, IBindCtx*, LPWSTR displayName, ULONG* eaten, PIDLIST_RELATIVE* list,
                             ULONG* attributes) override {
        if (attributes) *attributes = 0;
        if (!list) return E_INVALIDARG;
        *list = nullptr;
        if (!displayName || !*displayName) return E_INVALIDARG;
        std::u16string path = displayName;
        if (!isAbsolutePath(path)) {
            WCHAR desktop[MAX_PATH] = {};
            if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop)))
                return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
            path = std::u16string(desktop) + u"\\" + path;
        }
        PIDLIST_ABSOLUTE parsed = nullptr;
        const HRESULT hr = SHParseDisplayName(path.c_str(), nullptr, &parsed, 0, nullptr);
        if (FAILED(hr)) return hr;
        *list = parsed;
        if (eaten) *eaten = static_cast<ULONG>(std::u16string_view(displayName).size());
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
};

// An item to select: "" for an empty one, nothing for a list that is not the layer's.
std::optional<std::u16string> itemPath(PCUITEMID_CHILD item) {
    if (!item) return std::u16string();
    USHORT cb = 0;
    std::memcpy(&cb, item, sizeof cb);
    if (cb == 0) return std::u16string();
    return platform::detail::itemListPath(item);
}

}  // namespace

void WINAPI ILFree(LPITEMIDLIST list) { CoTaskMemFree(list); }

HRESULT WINAPI SHGetDesktopFolder(IShellFolder** folder) {
    if (!folder) return E_INVALIDARG;
    static DesktopFolder* desktop = new DesktopFolder;
    desktop->AddRef();
    *folder = desktop;
    return S_OK;
}

HRESULT WINAPI SHOpenFolderAndSelectItems(PCIDLIST_ABSOLUTE folder, UINT count, PCUITEMID_CHILD_ARRAY items, DWORD flags) {
    if (!platform::detail::comInitialized()) return CO_E_NOTINITIALIZED;
    if (!folder || (count > 0 && !items)) return E_INVALIDARG;
    std::optional<std::u16string> shown = platform::detail::itemListPath(folder);
    if (!shown) return E_INVALIDARG;
    std::vector<std::u16string> selected;
    for (UINT i = 0; i < count; ++i) {
        std::optional<std::u16string> path = itemPath(items[i]);
        if (!path) return E_INVALIDARG;
        selected.push_back(*path);
    }
    const DWORD attributes = GetFileAttributesW(shown->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (count == 0) {
        // The list names the one object to select, in its parent folder.
        const size_t slash = shown->find_last_of(u'\\');
        if (slash == std::u16string::npos || shown->size() <= 3) return E_INVALIDARG;  // a drive root has no parent
        selected.push_back(*shown);
        shown = shown->substr(0, slash == 2 ? 3 : slash);
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return E_INVALIDARG;
    }
    std::u16string itemLines;
    for (const std::u16string& path : selected) itemLines += path + u"\n";
    platform::detail::appendJournal(kActions, {platform::fromUtf8(std::to_string(GetCurrentProcessId())),
                                               u"SHOpenFolderAndSelectItems", u"", *shown, itemLines, u"",
                                               platform::fromUtf8(std::to_string(flags))});
    return S_OK;
}
