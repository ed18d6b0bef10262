// CTwain: the scan application's connection to a TWAIN data source through the data source manager
// "TWAINDSM.dll" beside the program. A base class: the main dialog derives from it and overrides some
// of the virtual operations.
#pragma once

#include "win/kernel.h"
#include "win/twain.h"
#include "win/user.h"

// The dialog's message that carries a source's notification (wParam: MSG_XFERREADY or MSG_CLOSEDSREQ).
#define WM_TWAIN_MESSAGE (WM_USER + 16)

// The window that the TWAIN callback sends WM_TWAIN_MESSAGE to (the main dialog's).
extern HWND g_hTwainMessageWindow;

// The procedure registered with the source: sends WM_TWAIN_MESSAGE to g_hTwainMessageWindow.
TW_UINT16 WINAPI TwainCallback(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                               TW_UINT16 msg, TW_MEMREF data);

class CTwain {
public:
    // What ShouldTransfer answers.
    enum TransferChoice { TransferImage = 0, SkipImage = 1, CancelAll = 2 };

    CTwain() = default;
    CTwain(const CTwain&) = delete;
    CTwain& operator=(const CTwain&) = delete;

    // The virtual operations in their slot order.
    virtual ~CTwain();
    virtual void FillAppIdentity();
    virtual BOOL SelectSource(const char* productName);
    virtual BOOL OpenSource(const TW_IDENTITY* identity = nullptr);
    virtual int ShouldTransfer(const TW_IMAGEINFO& info);
    virtual BOOL CloseSource();
    virtual BOOL EnableSource(BOOL showUI);
    virtual BOOL DisableSource();
    virtual BOOL ConfirmCloseRequest();
    virtual LRESULT ProcessSourceMessage(TW_UINT16 message);
    virtual BOOL TransferNative(const TW_IMAGEINFO& info);
    virtual void OnNativeImage(HGLOBAL dib, const TW_IMAGEINFO& info);

    BOOL InitTwain(HWND parent);
    void ReleaseTwain();
    BOOL GetDefaultSource();
    BOOL SetCapability(TW_CAPABILITY& capability);
    BOOL GetCapability(TW_CAPABILITY& capability);
    BOOL SetTransferCount(short count);
    BOOL Acquire();
    BOOL RegisterCallback(TW_UINTPTR refCon);
    void TransferLoop();
    BOOL EndTransfer();
    BOOL CancelTransfers();

    // One triplet to the manager or, with a destination, through it to a source.
    BOOL CallManager(pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // A triplet to the open source; fails without a call unless manager and source are open.
    BOOL CallSource(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

    BOOL IsManagerLoaded() const { return m_hManager != nullptr; }
    BOOL IsManagerOpen() const { return m_bManagerOpen; }
    BOOL IsSourceSelected() const { return m_bSourceSelected; }
    BOOL IsSourceOpen() const { return m_bSourceOpen; }
    BOOL IsSourceEnabled() const { return m_bSourceEnabled; }
    TW_UINT16 LastReturnCode() const { return m_rc; }
    const TW_STATUS& Status() const { return m_status; }
    const TW_IDENTITY& AppIdentity() const { return m_appIdentity; }
    const TW_IDENTITY& SourceIdentity() const { return m_sourceIdentity; }
    short TransferCount() const { return m_transferCount; }
    int ModalUI() const { return m_modalUI; }

protected:
    HMODULE m_hManager = nullptr;
    DSMENTRYPROC m_pEntry = nullptr;
    TW_IDENTITY m_appIdentity{};
    TW_IDENTITY m_sourceIdentity{};
    TW_STATUS m_status{};
    TW_UINT16 m_rc = 0;
    HWND m_hParent = nullptr;
    BOOL m_bSourceSelected = FALSE;
    BOOL m_bManagerOpen = FALSE;
    BOOL m_bSourceOpen = FALSE;
    BOOL m_bSourceEnabled = FALSE;
    int m_modalUI = 1;
    short m_transferCount = -1;
    TW_IMAGEINFO m_imageInfo{};
    BOOL m_bTransferBusy = FALSE;

    BOOL IsReady() const { return m_hManager && m_bManagerOpen && m_bSourceOpen; }
    // Without the manager every operation fails with TWRC_FAILURE as its last return code.
    BOOL RequireManager();
};
