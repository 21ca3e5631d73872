#include "mainwnd/Scale.h"

#include "mainwnd/Layout.h"

#include <algorithm>
#include <cmath>

double ChooseScale(unsigned dpi, int workWidth, int workHeight, int frameWidth, int frameHeight) {
    double scale = dpi > 0 ? dpi / 96.0 : 1.0;
    if (scale <= 1.0)
        return 1.0;
    // A laptop at 150 % has a work area of about 1280 x 672 units: the whole window must show.
    // Hundredths: the same monitor always gives the same scale, whatever rounding on the way.
    const double fitX = static_cast<double>(workWidth - frameWidth) / kDefaultWidth;
    const double fitY = static_cast<double>(workHeight - frameHeight) / kDefaultHeight;
    const double fit = std::floor(std::min(fitX, fitY) * 100.0) / 100.0;
    return std::max(1.0, std::min(scale, fit));
}

PixelMap::PixelMap(double scale, int pixelWidth, int pixelHeight)
    : m_scale(scale > 0 ? scale : 1.0), m_pixelWidth(pixelWidth), m_pixelHeight(pixelHeight) {
    if (m_scale == 1.0) {
        m_width = pixelWidth;
        m_height = pixelHeight;
        return;
    }
    m_width = std::max(1, static_cast<int>(std::lround(pixelWidth / m_scale)));
    m_height = std::max(1, static_cast<int>(std::lround(pixelHeight / m_scale)));
    m_x = pixelWidth > 0 ? static_cast<double>(pixelWidth) / m_width : m_scale;
    m_y = pixelHeight > 0 ? static_cast<double>(pixelHeight) / m_height : m_scale;
}

POINT PixelMap::ToDesign(POINT pixel) const {
    if (Unit())
        return pixel;
    return POINT{static_cast<LONG>(std::floor(pixel.x / m_x)),
                 static_cast<LONG>(std::floor(pixel.y / m_y))};
}

RECT PixelMap::ToPixels(const RECT& r) const {
    if (Unit())
        return r;
    return RECT{
        static_cast<LONG>(std::floor(r.left * m_x)), static_cast<LONG>(std::floor(r.top * m_y)),
        static_cast<LONG>(std::ceil(r.right * m_x)), static_cast<LONG>(std::ceil(r.bottom * m_y))};
}

RECT PixelMap::ToRepaint(const RECT& design) const {
    RECT rc = ToPixels(design);
    if (!Unit())
        InflateRect(&rc, kScaleBlendPixels, kScaleBlendPixels);
    return rc;
}

int PixelMap::Pixels(int design) const {
    return m_scale == 1.0 ? design : static_cast<int>(std::lround(design * m_scale));
}

std::wstring DoubleSkinFile(std::wstring file) {
    const size_t dot = file.rfind(L'.');
    file.insert(dot == std::wstring::npos ? file.size() : dot, L"@2x");
    return file;
}

bool IsDoubleSkinPicture(unsigned width, unsigned height, unsigned doubleWidth,
                         unsigned doubleHeight) {
    return width > 0 && height > 0 && doubleWidth <= kMostDoubleSkinPixels &&
           doubleHeight <= kMostDoubleSkinPixels && doubleWidth == 2ull * width &&
           doubleHeight == 2ull * height;
}
