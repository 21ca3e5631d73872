#include "mainwnd/Surface.h"

#include "mainwnd/Drawing.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

namespace {

using namespace Gdiplus;

constexpr int kHeaderRows = kHeaderHeight;
constexpr int kBottomRows = kBottomBarHeight;
constexpr int kBlendPixels = kScaleBlendPixels;

// Header and bottom strips, body, border, logo and link picture: what lies under the controls.
void DrawBackdrop(Graphics& g, const SurfaceSkin& skin, int W, int H, const RECT& homeLink) {
    if (skin.top)
        g.DrawImage(skin.top, Rect(0, 0, W, kHeaderRows), 0, 0, 8 * skin.topFactor,
                    45 * skin.topFactor, UnitPixel);
    SolidBrush white(Color(0xFFFFFFFF));
    g.FillRectangle(&white, 0.0f, static_cast<REAL>(kHeaderRows), static_cast<REAL>(W),
                    static_cast<REAL>(H - kHeaderRows - kBottomRows));
    if (skin.bottom)
        g.DrawImage(skin.bottom, Rect(0, H - kBottomRows, W, kBottomRows), 0, 0,
                    8 * skin.bottomFactor, 29 * skin.bottomFactor, UnitPixel);

    Pen pen(Color(kBorderArgb), 1.0f);
    g.DrawLine(&pen, 0, 0, 0, H);
    g.DrawLine(&pen, 0, 0, W, 0);
    g.DrawLine(&pen, 0, H - 1, W, H - 1);
    g.DrawLine(&pen, W - 1, 0, W - 1, H);

    if (skin.logo)
        g.DrawImage(skin.logo, Rect(10, 1, 135, 45), 0, 0, static_cast<INT>(skin.logo->GetWidth()),
                    static_cast<INT>(skin.logo->GetHeight()), UnitPixel);
    DrawImageInRect(&g, skin.content, homeLink);
}

void PrepareGraphics(Graphics& g, const PixelMap& map);

// The pixels a control's picture may touch at the map's scale.
RECT ControlPixels(const PixelMap& map, const ControlLayout& layout, int id) {
    return map.ToRepaint(ControlRect(layout, id));
}

// A control's frame at a scale, resampled once into a picture of the pixels it may touch
// (premultiplied, transparent around it). Paints lay these down 1:1, which gives the same pixels
// on a frame of any corner; a resampled draw does not (under Wine it lands a column apart).
std::unique_ptr<Bitmap> ScaleControl(Image* image, int factor, const PixelMap& map,
                                     const ControlLayout& layout, int id, int state) {
    const RECT px = ControlPixels(map, layout, id);
    auto sprite =
        std::make_unique<Bitmap>(px.right - px.left, px.bottom - px.top, PixelFormat32bppPARGB);
    if (sprite->GetLastStatus() != Ok)
        return nullptr;
    Graphics g(sprite.get());
    PrepareGraphics(g, map);
    g.TranslateTransform(static_cast<REAL>(-px.left), static_cast<REAL>(-px.top),
                         MatrixOrderAppend);
    const RECT rc = ControlRect(layout, id);
    const INT w = rc.right - rc.left, h = rc.bottom - rc.top;
    g.DrawImage(image, Rect(rc.left, rc.top, w, h), 0, state * h * factor, w * factor, h * factor,
                UnitPixel);
    return sprite;
}

// A control's frame at the map's scale; only asked for at a scale other than 1.
using SpriteSource = std::function<Image*(int id, int state)>;

// Each control whose pixels meet `within` in the frame of its state (frame k of a strip is rows
// k·h to k·h + h - 1), into a target whose corner is at `offset`. At 1 the pictures are drawn
// as they are; at a scale their resampled frames from `sprites`, 1:1, on graphics without a
// transform.
void DrawControls(Graphics& g, const SurfaceSkin& skin, const PixelMap& map,
                  const ControlLayout& layout, const ControlStates& states, const RECT& within,
                  POINT offset, const SpriteSource& sprites) {
    for (int id = kMinButton; id < kControlCount; ++id) {
        Image* image = skin.control[id];
        RECT px = ControlPixels(map, layout, id), meet;
        if (!image || !IntersectRect(&meet, &px, &within))
            continue;
        if (!map.Unit()) {
            if (Image* sprite = sprites(id, states.state[id]))
                g.DrawImage(sprite,
                            Rect(px.left - offset.x, px.top - offset.y, px.right - px.left,
                                 px.bottom - px.top),
                            0, 0, px.right - px.left, px.bottom - px.top, UnitPixel);
            continue;
        }
        RECT rc = ControlRect(layout, id);
        INT w = rc.right - rc.left, h = rc.bottom - rc.top, f = skin.controlFactor[id];
        g.DrawImage(image, Rect(rc.left - offset.x, rc.top - offset.y, w, h), 0,
                    states.state[id] * h * f, w * f, h * f, UnitPixel);
    }
}

bool MeetsAnyControl(const PixelMap& map, const ControlLayout& layout, const RECT& rc) {
    for (int id = kMinButton; id < kControlCount; ++id) {
        RECT control = ControlPixels(map, layout, id), meet;
        if (IntersectRect(&meet, &control, &rc))
            return true;
    }
    return false;
}

LONGLONG Area(const RECT& rc) {
    return rc.right > rc.left && rc.bottom > rc.top
               ? static_cast<LONGLONG>(rc.right - rc.left) * (rc.bottom - rc.top)
               : 0;
}

RectF CaptionRect(int W, int H) {
    return RectF(static_cast<REAL>(W - 133), static_cast<REAL>(H - 23), 133.0f, 23.0f);
}

void DrawCaption(Graphics& g, const SurfaceSkin& skin, int W, int H) {
    Font font(skin.font, 12.0f, FontStyleRegular, UnitPixel);
    StringFormat format(0, LANG_NEUTRAL);
    SolidBrush grey(Color(0xFF888888));
    g.DrawString(L"TOVO网页游戏开服表", -1, &font, CaptionRect(W, H), &format, &grey);
}

void PrepareGraphics(Graphics& g) {
    g.SetTextRenderingHint(TextRenderingHintClearTypeGridFit);
}

// Design units onto the map's pixels: text is laid out at the scale's
// own size (sharp glyphs, not a stretched bitmap) and pictures are resampled smoothly. Nothing
// at scale 1, which draws as it always has.
void PrepareGraphics(Graphics& g, const PixelMap& map) {
    PrepareGraphics(g);
    if (map.Unit())
        return;
    g.SetInterpolationMode(InterpolationModeHighQualityBicubic);
    // Pixel i spans i to i + 1, so that a design edge lands where PixelMap puts it.
    g.SetPixelOffsetMode(PixelOffsetModeHalf);
    g.ScaleTransform(static_cast<REAL>(map.X()), static_cast<REAL>(map.Y()));
}

// The smallest rectangle that holds every control.
RECT ControlBand(const ControlLayout& layout) {
    RECT band = ControlRect(layout, kMinButton);
    for (int id = kMinButton + 1; id < kControlCount; ++id) {
        RECT rc = ControlRect(layout, id);
        UnionRect(&band, &band, &rc);
    }
    return band;
}

} // namespace

void DrawSurface(Graphics& g, const SurfaceSkin& skin, int W, int H, const ControlLayout& layout,
                 const ControlStates& states) {
    DrawSurface(g, skin, PixelMap(1.0, W, H), layout, states);
}

void DrawSurface(Graphics& g, const SurfaceSkin& skin, const PixelMap& map,
                 const ControlLayout& layout, const ControlStates& states) {
    const int W = map.Width(), H = map.Height();
    PrepareGraphics(g, map);
    DrawBackdrop(g, skin, W, H, layout.homeLink);
    {
        GraphicsState scaled = g.Save();
        g.ResetTransform();
        g.SetInterpolationMode(InterpolationModeDefault);
        g.SetPixelOffsetMode(PixelOffsetModeDefault);
        std::unique_ptr<Bitmap> made[kControlCount];
        DrawControls(g, skin, map, layout, states, RECT{0, 0, LONG_MAX, LONG_MAX}, POINT{0, 0},
                     [&](int id, int state) -> Image* {
                         made[id] = ScaleControl(skin.control[id], skin.controlFactor[id], map,
                                                 layout, id, state);
                         return made[id].get();
                     });
        g.Restore(scaled);
    }
    DrawCaption(g, skin, W, H);
}

std::vector<RECT> RectsToCompose(const RECT& bounds, const std::vector<RECT>& parts) {
    // Each rectangle costs its own frame and drawing context, about what a few thousand pixels
    // of composing cost; a region of many pieces is composed as its bounds.
    constexpr LONGLONG kPerRect = 4096;
    LONGLONG cost = 0;
    for (const RECT& rc : parts)
        cost += Area(rc) + kPerRect;
    if (parts.size() < 2 || parts.size() > kMostComposedRects || cost >= Area(bounds) + kPerRect)
        return {bounds};
    return parts;
}

void CSurfaceCache::Paint(HDC hDC, const SurfaceSkin& skin, int W, int H,
                          const ControlLayout& layout, const ControlStates& states) {
    Paint(hDC, RECT{0, 0, W, H}, skin, PixelMap(1.0, W, H), layout, states);
}

void CSurfaceCache::Paint(HDC hDC, const RECT& asked, const SurfaceSkin& skin, const PixelMap& map,
                          const ControlLayout& layout, const ControlStates& states) {
    Prepare(hDC, skin, map, layout);
    const int W = map.PixelWidth(), H = map.PixelHeight();
    const RECT whole = {0, 0, W, H};
    RECT rc;
    if (!IntersectRect(&rc, &asked, &whole))
        return;
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    MemorySurface frame;
    if (!m_strips) {
        // A size that is not kept is drawn whole; only the asked part is copied.
        if (!frame.create(hDC, W, H))
            return;
        {
            Graphics g(frame.get());
            DrawSurface(g, skin, map, layout, states);
        }
        BitBlt(hDC, rc.left, rc.top, w, h, frame.get(), rc.left, rc.top, SRCCOPY);
        return;
    }
    const POINT corner = {rc.left, rc.top};
    if (!frame.create(hDC, w, h))
        return;
    // The kept rows that fall in rc, in three bands: the top rows as kept, the body (its rows
    // are all alike: the one kept is stretched over them) and the bottom bar.
    const int top = m_nTopRows, bodyEnd = H - m_nBottomRows;
    auto rows = [&](int from, int to, int sourceRow, bool stretch) {
        const int y0 = std::max(from, static_cast<int>(rc.top));
        const int y1 = std::min(to, static_cast<int>(rc.bottom));
        if (y0 >= y1)
            return;
        const int x = rc.left - corner.x, y = y0 - corner.y;
        if (stretch)
            StretchBlt(frame.get(), x, y, w, y1 - y0, m_strips.get(), rc.left, sourceRow, w, 1,
                       SRCCOPY);
        else
            BitBlt(frame.get(), x, y, w, y1 - y0, m_strips.get(), rc.left, sourceRow + (y0 - from),
                   SRCCOPY);
    };
    SetStretchBltMode(frame.get(), COLORONCOLOR);
    rows(0, top, 0, false);
    rows(top, bodyEnd, top, true);
    rows(bodyEnd, H, top + 1, false);
    if (MeetsAnyControl(map, layout, rc)) {
        Graphics g(frame.get());
        PrepareGraphics(g);
        DrawControls(g, skin, map, layout, states, rc, corner,
                     [&](int id, int state) { return Sprite(skin, map, layout, id, state); });
    }
    BitBlt(hDC, rc.left, rc.top, w, h, frame.get(), rc.left - corner.x, rc.top - corner.y, SRCCOPY);
}

CSurfaceCache::Key CSurfaceCache::KeyFor(HDC hDC, const SurfaceSkin& skin, const PixelMap& map) {
    Key key;
    key.width = map.Width();
    key.height = map.Height();
    key.pixelWidth = map.PixelWidth();
    key.pixelHeight = map.PixelHeight();
    // A memory DC holding a DIB section gets DIB sections of that format as compatible bitmaps.
    DIBSECTION dib = {};
    key.dib = GetObjectType(hDC) == OBJ_MEMDC &&
              GetObjectW(GetCurrentObject(hDC, OBJ_BITMAP), sizeof dib, &dib) == sizeof dib;
    key.bits = key.dib ? dib.dsBm.bmBitsPixel : GetDeviceCaps(hDC, BITSPIXEL);
    key.font = skin.font;
    return key;
}

int CSurfaceCache::TopRows(const Key& key, const PixelMap& map, const ControlLayout& layout,
                           int& bottomRows) {
    // Everything from the top edge to the lowest control is kept, then one row of the body and
    // the bottom bar. The caption is drawn before the controls here and after them in a full
    // draw: the same pixels only while no control reaches into its rectangle. At a scale the
    // rows where resampled edges blend are kept too.
    RECT band = ControlBand(layout);
    const int designTop = std::max(kHeaderRows, static_cast<int>(band.bottom));
    int top = designTop;
    bottomRows = kBottomRows;
    if (!map.Unit()) {
        top = static_cast<int>(std::ceil(designTop * map.Y())) + kBlendPixels;
        bottomRows = map.PixelHeight() -
                     static_cast<int>(std::floor((key.height - kBottomRows) * map.Y())) +
                     kBlendPixels;
    }
    RectF caption = CaptionRect(key.width, key.height);
    RECT captionRect = {static_cast<LONG>(caption.X), static_cast<LONG>(caption.Y),
                        static_cast<LONG>(caption.GetRight()),
                        static_cast<LONG>(caption.GetBottom())};
    RECT overlap;
    if (key.width <= 0 || top >= key.pixelHeight - bottomRows || band.top < 0 ||
        IntersectRect(&overlap, &band, &captionRect))
        return 0;
    return top;
}

void CSurfaceCache::PrepareBackdrop(HDC hDC, const SurfaceSkin& skin, const PixelMap& map,
                                    const ControlLayout& layout) {
    Key key = KeyFor(hDC, skin, map);
    key.font = nullptr; // the caption comes later
    DropBackdrop();
    int bottomRows = 0;
    if (TopRows(key, map, layout, bottomRows) &&
        m_full.create(hDC, map.PixelWidth(), map.PixelHeight())) {
        Graphics g(m_full.get());
        PrepareGraphics(g, map);
        DrawBackdrop(g, skin, map.Width(), map.Height(), layout.homeLink);
        m_fullKey = key;
    } else {
        DropBackdrop();
    }
}

void CSurfaceCache::Prepare(HDC hDC, const SurfaceSkin& skin, const PixelMap& map,
                            const ControlLayout& layout) {
    const Key key = KeyFor(hDC, skin, map);
    if (key == m_key)
        return;
    Key bare = key;
    bare.font = nullptr;
    if (!m_full || !(m_fullKey == bare))
        PrepareBackdrop(hDC, skin, map, layout);
    DropStrips();
    m_key = key; // a size that cannot be kept is drawn in full until the next change
    int bottomRows = 0;
    const int top = TopRows(key, map, layout, bottomRows);
    const int W = map.PixelWidth(), H = map.PixelHeight();
    if (!m_full || !m_strips.create(hDC, W, top + 1 + bottomRows)) {
        DropBackdrop();
        DropStrips();
        return;
    }
    {
        Graphics g(m_full.get());
        PrepareGraphics(g, map);
        DrawCaption(g, skin, map.Width(), map.Height());
    }
    if (!BitBlt(m_strips.get(), 0, 0, W, top + 1, m_full.get(), 0, 0, SRCCOPY) ||
        !BitBlt(m_strips.get(), 0, top + 1, W, bottomRows, m_full.get(), 0, H - bottomRows,
                SRCCOPY))
        DropStrips();
    m_nTopRows = top;
    m_nBottomRows = bottomRows;
    {
        // The first draw of each control's image costs more than the next ones (at a scale, the
        // resampling of its frame); the surface drawn ahead is about to go, so it takes that
        // first draw.
        Graphics g(m_full.get());
        PrepareGraphics(g);
        DrawControls(g, skin, map, layout, ControlStates(), RECT{0, 0, LONG_MAX, LONG_MAX},
                     POINT{0, 0},
                     [&](int id, int state) { return Sprite(skin, map, layout, id, state); });
    }
    DropBackdrop();
}

void CSurfaceCache::DropBackdrop() {
    m_full.reset();
    m_fullKey = Key();
}

void CSurfaceCache::DropStrips() {
    m_strips.reset();
    m_nTopRows = 0;
    m_nBottomRows = 0;
    for (auto& frames : m_sprites) {
        for (auto& sprite : frames)
            sprite.reset();
    }
}

Gdiplus::Bitmap* CSurfaceCache::Sprite(const SurfaceSkin& skin, const PixelMap& map,
                                       const ControlLayout& layout, int id, int state) {
    if (id < 0 || id >= kControlCount || state < 0 || state > 2)
        return nullptr;
    std::unique_ptr<Bitmap>& sprite = m_sprites[id][state];
    if (!sprite && skin.control[id])
        sprite = ScaleControl(skin.control[id], skin.controlFactor[id], map, layout, id, state);
    return sprite.get();
}

void CSurfaceCache::Release() {
    DropBackdrop();
    DropStrips();
    m_key = Key();
}
