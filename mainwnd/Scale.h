#pragma once
// The window's scale: pixels per design unit. The layout, the tab table, hit testing and the
// control rules stay in design units (1004 x 695 at every DPI); the scale is decided here, once,
// and applied where pixels come in (mouse, hit test, sizing) and go out (window size, page area,
// invalidation, accessible locations, paint).

#include "framework/plain_types.h"

#include <string>

// How far a resampled picture or line may reach beyond its scaled rectangle, in pixels.
constexpr int kScaleBlendPixels = 2;

// The scale for a monitor: its DPI / 96, made smaller (never below 1) when the scaled window,
// with frameWidth and frameHeight pixels of frame around it, would not fit the work area.
double ChooseScale(unsigned dpi, int workWidth, int workHeight, int frameWidth = 0,
                   int frameHeight = 0);

// Skin pictures at twice the pixels: a skin may put "name@2x.png" beside "name.png", for scales
// above 1. It stands for the 1x picture only when it is exactly twice its size in each direction
// (the same design rectangle, the same frames) and no larger than kMostDoubleSkinPixels each way;
// otherwise the 1x picture is used, scaled.
constexpr unsigned kMostDoubleSkinPixels = 8192;
inline bool WantsDoubleSkin(double scale) {
    return scale > 1.0;
}
std::wstring DoubleSkinFile(std::wstring file);
bool IsDoubleSkinPicture(unsigned width, unsigned height, unsigned doubleWidth,
                         unsigned doubleHeight);

// Design units onto the pixels of one client area. The design size is the pixel size over the
// scale, rounded, and the map stretches it over the pixels exactly: each way's own factor differs
// from the scale by a fraction of a pixel. At scale 1 every mapping is the identity.
class PixelMap {
public:
    PixelMap() = default;
    PixelMap(double scale, int pixelWidth, int pixelHeight);

    double Scale() const { return m_scale; }
    bool Unit() const { return m_x == 1.0 && m_y == 1.0; }
    double X() const { return m_x; }
    double Y() const { return m_y; }
    int Width() const { return m_width; } // design units
    int Height() const { return m_height; }
    int PixelWidth() const { return m_pixelWidth; }
    int PixelHeight() const { return m_pixelHeight; }

    // The design point a pixel lies in.
    POINT ToDesign(POINT pixel) const;
    // The pixels a design rectangle touches, its partly covered edges included.
    RECT ToPixels(const RECT& design) const;
    // The pixels a drawing of the design rectangle may change: at a scale resampled pictures and
    // lines blend into the pixels around their edges. What a repaint of it must cover.
    RECT ToRepaint(const RECT& design) const;
    // A design length in whole pixels at the scale (window sizes, minimum sizes).
    int Pixels(int design) const;

private:
    double m_scale = 1.0, m_x = 1.0, m_y = 1.0;
    int m_width = 0, m_height = 0, m_pixelWidth = 0, m_pixelHeight = 0;
};
