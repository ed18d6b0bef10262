// A bitmap static whose white parts let the window below show through: the completion page's picture
// of the cable connection.
#pragma once

#include "afx/afxwin.h"

// Draws `bitmap` (its top-left width by height) onto `target` at the origin, white as the
// transparent colour: through MaskBlt, else composed by hand with plain blits. Every temporary
// bitmap and context is released; false when a context or bitmap could not be made.
bool DrawTransparentBitmap(HDC target, HBITMAP bitmap, int width, int height);

class CTransparentImage : public CStatic {
    DECLARE_DYNAMIC(CTransparentImage)
public:
    CTransparentImage() = default;
    ~CTransparentImage() override = default;

protected:
    afx_msg void OnPaint();
    DECLARE_MESSAGE_MAP()
};
