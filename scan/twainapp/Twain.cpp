// CTwain: loading the manager, identifying the application, choosing, opening, enabling and closing
// the source, capabilities and the transfer of images.
#include "Twain.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "win/kernel.h"
#include "win/resources.h"

HWND g_hTwainMessageWindow = nullptr;

TW_UINT16 WINAPI TwainCallback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16 msg, TW_MEMREF) {
    char text[32];
    snprintf(text, sizeof text, "MSG :%d", msg);
    OutputDebugStringA(text);
    Sleep(10);
    if (g_hTwainMessageWindow) SendMessageW(g_hTwainMessageWindow, WM_TWAIN_MESSAGE, msg, 0);
    return TWRC_SUCCESS;
}

CTwain::~CTwain() {
    if (m_hManager) {
        ReleaseTwain();
        FreeLibrary(m_hManager);
        m_hManager = nullptr;
        m_pEntry = nullptr;
    }
}

void CTwain::FillAppIdentity() {
    m_appIdentity.Id = 0;
    m_appIdentity.Version.MajorNum = 3;
    m_appIdentity.Version.MinorNum = 5;
    m_appIdentity.Version.Language = TWLG_USA;
    m_appIdentity.Version.Country = TWCY_USA;
    std::strcpy(m_appIdentity.Version.Info, "3.5");
    m_appIdentity.ProtocolMajor = 2;
    m_appIdentity.ProtocolMinor = 2;
    m_appIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(m_appIdentity.Manufacturer, "KOVRA");
    std::strcpy(m_appIdentity.ProductFamily, "Generic");
    std::strcpy(m_appIdentity.ProductName, "Twain APP");
}

BOOL CTwain::RequireManager() {
    if (m_hManager && m_pEntry) return TRUE;
    m_rc = TWRC_FAILURE;
    return FALSE;
}

BOOL CTwain::CallManager(pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (!RequireManager()) return FALSE;
    m_rc = m_pEntry(&m_appIdentity, destination, dg, dat, msg, data);
    if (m_rc != TWRC_SUCCESS)
        m_pEntry(&m_appIdentity, destination, DG_CONTROL, DAT_STATUS, MSG_GET, &m_status);
    return m_rc == TWRC_SUCCESS;
}

BOOL CTwain::CallSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (!RequireManager() || !IsReady()) return FALSE;
    return CallManager(&m_sourceIdentity, dg, dat, msg, data);
}

BOOL CTwain::InitTwain(HWND parent) {
    if (m_hManager) return TRUE;
    m_appIdentity = {};
    if (!IsWindow(parent)) return FALSE;
    m_hParent = parent;
    WCHAR path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return FALSE;
    std::u16string managerPath(path, length);
    managerPath.erase(managerPath.find_last_of(u'\\') + 1);  // npos + 1 is 0: a bare name
    managerPath += u"TWAINDSM.dll";
    m_hManager = LoadLibraryW(managerPath.c_str());
    if (m_hManager) {
        m_pEntry = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(m_hManager, MAKEINTRESOURCEA(1))));
        if (!m_pEntry) {
            FreeLibrary(m_hManager);
            m_hManager = nullptr;
        }
    }
    if (!m_hManager || !m_pEntry) return FALSE;
    FillAppIdentity();
    HWND window = parent;
    m_bManagerOpen = CallManager(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window);
    return TRUE;
}

void CTwain::ReleaseTwain() {
    if (!m_hManager || !m_bManagerOpen) return;
    CloseSource();
    HWND window = m_hParent;
    CallManager(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &window);
    m_bManagerOpen = FALSE;
}

BOOL CTwain::GetDefaultSource() {
    m_bSourceSelected = CallManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &m_sourceIdentity);
    return m_bSourceSelected;
}

BOOL CTwain::SelectSource(const char* productName) {
    m_sourceIdentity = {};
    if (!productName) {
        if (!m_bSourceSelected) GetDefaultSource();
        if (CallManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &m_sourceIdentity))
            m_bSourceSelected = TRUE;
        return m_bSourceSelected;
    }
    if (!CallManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &m_sourceIdentity)) return m_bSourceSelected;
    for (;;) {
        // Byte for byte, case-sensitive, within the 34-byte field.
        if (std::strncmp(productName, m_sourceIdentity.ProductName, sizeof(TW_STR32)) == 0) {
            m_bSourceSelected = TRUE;
            return TRUE;
        }
        if (!CallManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &m_sourceIdentity)) return m_bSourceSelected;
    }
}

BOOL CTwain::OpenSource(const TW_IDENTITY* identity) {
    if (identity) m_sourceIdentity = *identity;
    if (!RequireManager()) return FALSE;
    if (m_bManagerOpen) {
        if (!m_bSourceSelected) GetDefaultSource();
        m_bSourceOpen = CallManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_sourceIdentity);
    }
    return m_hManager && m_bManagerOpen && m_bSourceOpen;
}

int CTwain::ShouldTransfer(const TW_IMAGEINFO&) { return TransferImage; }

BOOL CTwain::CloseSource() {
    BOOL closed = FALSE;
    if (RequireManager() && IsReady()) {
        DisableSource();
        closed = CallManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_sourceIdentity);
        m_bSourceOpen = FALSE;
    }
    m_bTransferBusy = FALSE;
    return closed;
}

BOOL CTwain::EnableSource(BOOL showUI) {
    if (!RequireManager() || !IsReady() || m_bSourceEnabled) return FALSE;
    TW_USERINTERFACE ui{};
    ui.ShowUI = static_cast<TW_BOOL>(showUI ? TRUE : FALSE);
    ui.hParent = m_hParent;
    m_bSourceEnabled = CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    m_modalUI = m_bSourceEnabled ? ui.ModalUI : 1;
    return m_bSourceEnabled;
}

BOOL CTwain::DisableSource() {
    if (!RequireManager() || !m_bSourceEnabled) return FALSE;
    TW_USERINTERFACE ui{};
    if (!CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui)) return FALSE;
    m_bSourceEnabled = FALSE;
    return TRUE;
}

BOOL CTwain::ConfirmCloseRequest() { return TRUE; }

LRESULT CTwain::ProcessSourceMessage(TW_UINT16 message) {
    if (message == MSG_XFERREADY) {
        TransferLoop();
        return 0;
    }
    if (message == MSG_CLOSEDSREQ && ConfirmCloseRequest()) CloseSource();
    return 0;
}

BOOL CTwain::SetCapability(TW_CAPABILITY& capability) {
    return CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
}

BOOL CTwain::GetCapability(TW_CAPABILITY& capability) {
    capability = {CAP_XFERCOUNT, TWON_DONTCARE16, nullptr};
    return CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability);
}

namespace {

// A one-value container in a movable zeroed block of 6 bytes.
HGLOBAL oneValue(TW_UINT16 itemType, TW_UINT32 item) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(TW_ONEVALUE));
    if (!block) return nullptr;
    auto* value = static_cast<TW_ONEVALUE*>(GlobalLock(block));
    value->ItemType = itemType;
    value->Item = item;
    GlobalUnlock(block);
    return block;
}

}  // namespace

BOOL CTwain::SetTransferCount(short count) {
    HGLOBAL block = oneValue(TWTY_INT16, static_cast<TW_UINT32>(static_cast<TW_UINT16>(count)));
    if (!block) return FALSE;
    TW_CAPABILITY capability{CAP_XFERCOUNT, TWON_ONEVALUE, block};
    BOOL ok = SetCapability(capability);
    GlobalFree(block);
    if (ok) {
        m_transferCount = count;
        return TRUE;
    }
    if (m_rc != TWRC_CHECKSTATUS) return FALSE;
    // The source proposes a value: take it from a successful GET of a one-value container only.
    TW_CAPABILITY current{};
    if (!GetCapability(current)) return FALSE;
    BOOL haveValue = FALSE;
    TW_UINT16 proposed = 0;
    if (current.hContainer) {
        if (current.ConType == TWON_ONEVALUE) {
            if (auto* value = static_cast<TW_ONEVALUE*>(GlobalLock(current.hContainer))) {
                proposed = static_cast<TW_UINT16>(value->Item);
                haveValue = TRUE;
                GlobalUnlock(current.hContainer);
            }
        }
        GlobalFree(current.hContainer);
    }
    if (!haveValue) return FALSE;
    block = oneValue(TWTY_UINT16, proposed);
    if (!block) return FALSE;
    capability = {CAP_XFERCOUNT, TWON_ONEVALUE, block};
    ok = SetCapability(capability);
    GlobalFree(block);
    if (ok) m_transferCount = static_cast<short>(proposed);
    return ok;
}

BOOL CTwain::Acquire() {
    return (m_bSourceOpen || OpenSource(nullptr)) && SetTransferCount(1) && EnableSource(TRUE);
}

BOOL CTwain::RegisterCallback(TW_UINTPTR refCon) {
    TW_CALLBACK callback{};
    callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&TwainCallback);
    callback.RefCon = refCon;
    callback.Message = 0;
    CallSource(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);  // the answer is not acted on
    const BOOL ok = m_hManager && m_bManagerOpen && m_bSourceOpen;
    OutputDebugStringA(ok ? " reg call back ok" : " reg call back false");
    return ok;
}

void CTwain::TransferLoop() {
    BOOL pending = TRUE;
    while (pending) {
        // Without an enabled source or an image description there is nothing to transfer: leave.
        if (!m_bSourceEnabled) break;
        TW_IMAGEINFO info{};
        if (!CallSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info)) break;
        m_imageInfo = info;
        switch (ShouldTransfer(info)) {
        case TransferImage: pending = TransferNative(info); break;
        case SkipImage: pending = EndTransfer(); break;
        default:
            CancelTransfers();
            pending = FALSE;
        }
    }
}

BOOL CTwain::TransferNative(const TW_IMAGEINFO& info) {
    HGLOBAL dib = nullptr;
    CallSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
    if (m_rc == TWRC_FAILURE) {
        CancelTransfers();
        return FALSE;
    }
    if (m_rc == TWRC_XFERDONE) OnNativeImage(dib, info);
    if (dib) GlobalFree(dib);
    return EndTransfer();
}

void CTwain::OnNativeImage(HGLOBAL, const TW_IMAGEINFO&) {}

BOOL CTwain::EndTransfer() {
    TW_PENDINGXFERS pending{};
    return CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) && pending.Count != 0;
}

BOOL CTwain::CancelTransfers() {
    TW_PENDINGXFERS pending{};
    return CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}
