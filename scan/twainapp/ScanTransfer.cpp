// TransferMemory: an image in strips into the shared image buffer, then to the image saver.
#include "ScanTransfer.h"

#include <algorithm>

#include "win/kernel.h"
#include "win/memory.h"
#include "win/shell.h"

namespace {

// Room beyond the image, so that a strip-sized view at the last strip stays inside the mapping.
constexpr uint64_t kSizeMargin = 0x1400000;
// The largest strip asked for.
constexpr DWORD kMaxStrip = 0xA00000;

}  // namespace

void CScanTransfer::AbandonTransfer() {
    TW_PENDINGXFERS pending{};
    if (CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) && pending.Count != 0) CancelTransfers();
}

BOOL CScanTransfer::TransferMemory(const TW_IMAGEINFO& info) {
    // The buffer: whole 32-bit words per row, computed in 64 bits; what does not fit the record's
    // 32-bit size, and an unknown or empty image, is refused.
    const uint64_t size = info.ImageWidth > 0 && info.ImageLength > 0 && info.BitsPerPixel > 0
                              ? (static_cast<uint64_t>(info.BitsPerPixel) * static_cast<uint64_t>(info.ImageWidth) + 31) /
                                        32 * static_cast<uint64_t>(info.ImageLength) * 4 +
                                    kSizeMargin
                              : 0;
    if (size == 0 || size > 0xFFFFFFFFu) {
        OutputDebugStringA("TransferMemory: image size refused");
        AbandonTransfer();
        return FALSE;
    }
    SharedImageBuffer* record = CreateSharedImageBuffer(static_cast<DWORD>(size), u"");
    if (!record) {
        CancelTransfers();
        return FALSE;
    }

    // The source's strip sizes (asked under DG_IMAGE, where the maker's source answers).
    TW_SETUPMEMXFER setup{};
    if (!CallSource(DG_IMAGE, DAT_SETUPMEMXFER, MSG_GET, &setup)) {
        OutputDebugStringA("the ds donot support MEMXFER");
        m_rc = TWRC_FAILURE;
        ReleaseSharedImageBuffer(record);
        AbandonTransfer();
        return FALSE;
    }

    // The strip buffer.
    const DWORD stripSize = std::min(setup.MaxBufSize, kMaxStrip);
    HGLOBAL strip = stripSize ? GlobalAlloc(GMEM_FIXED, stripSize) : nullptr;
    if (!strip) m_rc = TWRC_FAILURE;

    // The strips, each copied after the previous one; the strip that ends the loop too.
    uint64_t offset = 0;
    TW_IMAGEMEMXFER xfer{};
    bool refused = false;
    while (m_rc == TWRC_SUCCESS) {
        xfer = {};
        xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        xfer.Memory.Length = stripSize;
        xfer.Memory.TheMem = strip;
        CallSource(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
        if (m_rc != TWRC_SUCCESS && m_rc != TWRC_XFERDONE) break;
        const uint64_t bytes = static_cast<uint64_t>(xfer.Rows) * xfer.BytesPerRow;
        // Never more than the strip buffer holds, nor past the mapping.
        LPVOID base = nullptr;
        LPBYTE target = bytes <= stripSize && offset + bytes <= record->dwSize
                            ? GetDataHandle(record, static_cast<DWORD>(offset), static_cast<DWORD>(bytes), &base)
                            : nullptr;
        if (!target && bytes != 0) {
            refused = true;
            break;
        }
        if (bytes) {
            std::copy_n(static_cast<const BYTE*>(strip), bytes, target);
            UnmapViewOfFile(base);
        }
        offset += bytes;
    }

    // The record.
    record->dwWidth = static_cast<DWORD>(info.ImageWidth);
    record->dwHeight = static_cast<DWORD>(info.ImageLength);
    record->dwBitsPerPixel = static_cast<DWORD>(info.BitsPerPixel);
    record->dwBytesPerRow = xfer.BytesPerRow;
    record->dwResolution = static_cast<DWORD>(std::max<int>(0, info.XResolution.Whole));

    // No save folder: tell the source's interface, save nothing, and leave the source back in its
    // enabled state, or it could neither give another image nor be closed.
    BOOL more = FALSE;
    if (!PathFileExistsW(m_settings.szFolder)) {
        if (HWND popup = GetWindow(m_hParent, GW_ENABLEDPOPUP)) PostMessageW(popup, WM_SAVE_FOLDER_MISSING, 10, 0);
        AbandonTransfer();
    } else if (m_rc == TWRC_XFERDONE && !refused) {
        // A whole image. No output path (no settings file, or a path too long): the page is not
        // saved nor listed.
        if (m_strOutputPath.IsEmpty()) {
            more = EndTransfer();
        } else if (m_imageSaver.SavePage(record, m_strOutputPath)) {
            const int format = m_imageSaver.Format();
            if (m_imageSaver.PageCount() == 1 || format == CImageSaver::FormatBmp ||
                format == CImageSaver::FormatPng || format == CImageSaver::FormatJpg)
                m_savedFiles.Add(m_strOutputPath);
            more = EndTransfer();
        } else {
            // The saver has removed what the page left; the pages before it stay, no more are asked
            // for, and the dialog tells the user once the loop is over.
            OutputDebugStringW(u"CScanTransfer::TransferMemory: the page could not be saved");
            m_bSaveFailed = TRUE;
            AbandonTransfer();
        }
    } else {
        AbandonTransfer();
    }
    if (strip) GlobalFree(strip);
    ReleaseSharedImageBuffer(record);
    return more;
}
