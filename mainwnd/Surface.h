#pragma once
// The main window's surface: everything a paint draws, and the part of it that is kept between
// paints because it changes only with the size or the skin.

#include "framework/afxgdiplus.h"
#include "framework/handles.h"
#include "mainwnd/Interaction.h"
#include "mainwnd/Scale.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

// The window's one-pixel border, in the skin's deepest blue; tools/make_skin.sh reads it here.
constexpr Gdiplus::ARGB kBorderArgb = 0xFF0D4465;

// The skin as a paint reads it; nothing here is owned. A picture's factor is its pixels per
// design unit (2 for a skin's @2x picture): its source rectangles are the design ones times it.
// The logo and the link picture are drawn whole and need none.
struct SurfaceSkin {
    SurfaceSkin() { std::fill(std::begin(controlFactor), std::end(controlFactor), 1); }
    Gdiplus::Image* top = nullptr;
    Gdiplus::Image* bottom = nullptr;
    Gdiplus::Image* logo = nullptr;
    Gdiplus::Image* content = nullptr;
    Gdiplus::Image* control[kControlCount] = {}; // frame strips by control id; entry 0 unused
    int topFactor = 1, bottomFactor = 1;
    int controlFactor[kControlCount];
    Gdiplus::FontFamily* font = nullptr;
};

// The whole W x H surface, each element drawn in turn as every paint once drew it.
void DrawSurface(Gdiplus::Graphics& g, const SurfaceSkin& skin, int W, int H,
                 const ControlLayout& layout, const ControlStates& states);
// The same at a scale: the design size map.Width() x map.Height() over the map's pixels, text
// from fonts at the scale, pictures resampled.
void DrawSurface(Gdiplus::Graphics& g, const SurfaceSkin& skin, const PixelMap& map,
                 const ControlLayout& layout, const ControlStates& states);

// What a paint composes for an update region: its rectangles when they cover clearly less than
// their bounds (a pointer moving from one tab to a far one), else the bounds alone.
constexpr size_t kMostComposedRects = 8;
std::vector<RECT> RectsToCompose(const RECT& bounds, const std::vector<RECT>& parts);

// The surface without its controls (strips, body, border, logo, link picture and caption), drawn
// once for a size and a skin and kept in the rows that differ: from the top edge down to the
// controls' lowest row, one row of the body, and the bottom bar. A paint composes its frame from
// them and draws only the controls over it.
class CSurfaceCache {
public:
    CSurfaceCache() = default;
    ~CSurfaceCache() { Release(); }
    CSurfaceCache(const CSurfaceCache&) = delete;
    CSurfaceCache& operator=(const CSurfaceCache&) = delete;

    // Composes the surface off screen and copies it to hDC in one BitBlt.
    void Paint(HDC hDC, const SurfaceSkin& skin, int W, int H, const ControlLayout& layout,
               const ControlStates& states);
    // The same for the pixels within rc only, at the map's scale: the kept rows and the controls
    // that meet rc are composed in a frame of rc's size, which goes to the same place of hDC.
    void Paint(HDC hDC, const RECT& rc, const SurfaceSkin& skin, const PixelMap& map,
               const ControlLayout& layout, const ControlStates& states);
    // Builds what a paint of that size will need, so that the first one does not pay for it.
    void Prepare(HDC hDC, const SurfaceSkin& skin, const PixelMap& map,
                 const ControlLayout& layout);
    // Draws ahead what needs no font (everything but the caption) for the next Prepare of that
    // size and target.
    void PrepareBackdrop(HDC hDC, const SurfaceSkin& skin, const PixelMap& map,
                         const ControlLayout& layout);
    // Forgets everything kept; the next paint builds afresh (a new skin, a closing window).
    void Release();

private:
    struct Key {
        int width = -1, height = -1; // design units
        int pixelWidth = -1, pixelHeight = -1;
        int bits = -1;    // depth of a bitmap compatible with the target
        bool dib = false; // that bitmap is a DIB section, which GDI+ draws into differently
        Gdiplus::FontFamily* font = nullptr;
        bool operator==(const Key& o) const {
            return width == o.width && height == o.height && pixelWidth == o.pixelWidth &&
                   pixelHeight == o.pixelHeight && bits == o.bits && dib == o.dib && font == o.font;
        }
    };
    static Key KeyFor(HDC hDC, const SurfaceSkin& skin, const PixelMap& map);
    // The pixel rows kept above the body, or 0 when that size is not kept; the bottom bar's rows
    // in bottomRows.
    static int TopRows(const Key& key, const PixelMap& map, const ControlLayout& layout,
                       int& bottomRows);
    void DropBackdrop();
    void DropStrips();
    // At a scale: a control's frame resampled for the current size, made on first use.
    Gdiplus::Bitmap* Sprite(const SurfaceSkin& skin, const PixelMap& map,
                            const ControlLayout& layout, int id, int state);

    Key m_key; // what the strips were built for, or failed to be built for
    int m_nTopRows = 0;
    int m_nBottomRows = 0;
    // Rows 0 to m_nTopRows of the surface, then its bottom bar.
    MemorySurface m_strips;
    // At a scale, each control's frames by id and state (see Surface.cpp).
    std::unique_ptr<Gdiplus::Bitmap> m_sprites[kControlCount][3];
    // The whole surface but its caption, drawn ahead, until Prepare takes the strips from it.
    Key m_fullKey;
    MemorySurface m_full;
};
