#pragma once
// Drawing routines shared by the main window's paint and the page windows' offline picture.

#include "framework/afxgdiplus.h"

// The whole image scaled into rc; nothing when img is null.
void DrawImageInRect(Gdiplus::Graphics* pGraphics, Gdiplus::Image* pImage, const RECT& rc);
// A rectangle of the image's own size (its pixels over its factor, 2 for a skin's @2x picture)
// whose corner lies at (width / 2 - 140, height / 2 - 100) of rc, measured from 0 and not from
// rc's own corner: a 280 x 200 picture lands centred in a rectangle that starts at 0, 0.
RECT CalcCentredImageRect(Gdiplus::Image* pImage, const RECT& rc, int factor = 1);
