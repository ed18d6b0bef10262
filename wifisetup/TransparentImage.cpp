#include "TransparentImage.h"

#include "win/gdi.h"
#include "win/user.h"

namespace {
// MaskBlt's ROP4: the screen kept where the mask is 1 (white), the bitmap copied where it is 0.
constexpr DWORD kKeepWhereWhite = 0xCCAA0020;
// Blackens the colour copy's white: the destination ANDed with the inverted source (the mask).
constexpr DWORD kAndNotSource = 0x220326;
}  // namespace

IMPLEMENT_DYNAMIC(CTransparentImage, CStatic)

BEGIN_MESSAGE_MAP(CTransparentImage, CStatic)
    ON_WM_PAINT()
END_MESSAGE_MAP()

bool DrawTransparentBitmap(HDC target, HBITMAP bitmap, int width, int height) {
    bool drawn = false;
    HDC pictureDc = CreateCompatibleDC(target);
    HDC colourDc = CreateCompatibleDC(target);
    HDC maskDc = CreateCompatibleDC(target);
    HBITMAP colour = CreateCompatibleBitmap(target, width, height);
    HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
    if (pictureDc && colourDc && maskDc && colour && mask) {
        HGDIOBJ oldPicture = SelectObject(pictureDc, bitmap);
        HGDIOBJ oldColour = SelectObject(colourDc, colour);
        HGDIOBJ oldMask = SelectObject(maskDc, mask);

        // The colour copy: white where the bitmap does not reach.
        RECT all{0, 0, width, height};
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(colourDc, &all, white);
        DeleteObject(white);
        BitBlt(colourDc, 0, 0, width, height, pictureDc, 0, 0, SRCCOPY);

        // The mask: 1 where the colour copy is white.
        const COLORREF oldBackground = SetBkColor(colourDc, RGB(255, 255, 255));
        BitBlt(maskDc, 0, 0, width, height, colourDc, 0, 0, SRCCOPY);
        SetBkColor(colourDc, oldBackground);

        drawn = MaskBlt(target, 0, 0, width, height, colourDc, 0, 0, mask, 0, 0, kKeepWhereWhite) != FALSE;
        if (!drawn) {
            // The same by hand: the screen with the bitmap's place blackened, ORed with the bitmap
            // whose white was blackened.
            HDC composeDc = CreateCompatibleDC(target);
            HBITMAP compose = CreateCompatibleBitmap(target, width, height);
            if (composeDc && compose) {
                HGDIOBJ oldCompose = SelectObject(composeDc, compose);
                BitBlt(composeDc, 0, 0, width, height, target, 0, 0, SRCCOPY);
                BitBlt(composeDc, 0, 0, width, height, maskDc, 0, 0, SRCAND);
                BitBlt(colourDc, 0, 0, width, height, maskDc, 0, 0, kAndNotSource);
                BitBlt(composeDc, 0, 0, width, height, colourDc, 0, 0, SRCPAINT);
                drawn = BitBlt(target, 0, 0, width, height, composeDc, 0, 0, SRCCOPY) != FALSE;
                SelectObject(composeDc, oldCompose);
            }
            if (compose) DeleteObject(compose);
            if (composeDc) DeleteDC(composeDc);
        }
        SelectObject(maskDc, oldMask);
        SelectObject(colourDc, oldColour);
        SelectObject(pictureDc, oldPicture);
    }
    if (mask) DeleteObject(mask);
    if (colour) DeleteObject(colour);
    if (maskDc) DeleteDC(maskDc);
    if (colourDc) DeleteDC(colourDc);
    if (pictureDc) DeleteDC(pictureDc);
    return drawn;
}

void CTransparentImage::OnPaint() {
    HBITMAP bitmap = reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (!bitmap) {
        Default();
        return;
    }
    PAINTSTRUCT paint{};
    HDC target = BeginPaint(m_hWnd, &paint);
    if (target) {
        RECT client{};
        GetClientRect(&client);
        DrawTransparentBitmap(target, bitmap, client.right - client.left, client.bottom - client.top);
    }
    EndPaint(m_hWnd, &paint);
}
