// CScanTransfer: the connection with the scan application's memory transfer in place of the native
// one. Each image comes in strips into a shared image buffer and goes to the image saver; the main
// dialog derives from it.
#pragma once

#include "ImageSaver.h"
#include "ImgSaveSettings.h"
#include "Twain.h"

// Posted to the source's interface when the save folder does not exist (wParam 10, lParam 0).
#define WM_SAVE_FOLDER_MISSING 0xA41

class CScanTransfer : public CTwain {
public:
    BOOL TransferNative(const TW_IMAGEINFO& info) override { return TransferMemory(info); }
    // One image in strips; TRUE when more images pend.
    BOOL TransferMemory(const TW_IMAGEINFO& info);

    ImgSaveSettings m_settings{};
    CString m_strOutputPath;
    CStringArray m_savedFiles;
    CImageSaver m_imageSaver;
    // A page of this scan could not be saved (set here, cleared and reported by the dialog).
    BOOL m_bSaveFailed = FALSE;

private:
    // Ends the image in transfer and resets what still pends, so the source is never left in a transfer.
    void AbandonTransfer();
};
