#include "mainwnd/Drawing.h"

void DrawImageInRect(Gdiplus::Graphics* pGraphics, Gdiplus::Image* pImage, const RECT& rc) {
    if (pImage == nullptr || pGraphics == nullptr)
        return;
    pGraphics->DrawImage(pImage,
                         Gdiplus::Rect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top), 0,
                         0, static_cast<INT>(pImage->GetWidth()),
                         static_cast<INT>(pImage->GetHeight()), Gdiplus::UnitPixel);
}

RECT CalcCentredImageRect(Gdiplus::Image* pImage, const RECT& rc, int factor) {
    // The offline picture is 280 x 200: its corner lies half its size up and left of the middle
    // of a rectangle taken from 0, 0 (not from rc's own corner), halves truncated towards zero.
    // The picture keeps its own size whatever it is, in design units: its pixels over its factor
    // (2 for a skin's @2x picture).
    LONG left = (rc.right - rc.left) / 2 - 140;
    LONG top = (rc.bottom - rc.top) / 2 - 100;
    LONG w = pImage ? static_cast<LONG>(pImage->GetWidth()) / factor : 0;
    LONG h = pImage ? static_cast<LONG>(pImage->GetHeight()) / factor : 0;
    return RECT{left, top, left + w, top + h};
}
