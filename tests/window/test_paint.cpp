// The main window's paint, rendered off screen and read back, with a skin of known colours.

#include "window/main_wnd_probe.h"
#include "support/test_util.h"

#include "window/gdiplus_suite.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

// Colours of the test skin (tests/data/skin).
constexpr DWORD kTop = 0x204060, kBottom = 0x604020, kLogo = 0x00FF00, kLink = 0xFF00FF;
constexpr DWORD kWhite = 0xFFFFFF, kBorder = 0x0D4465;
constexpr DWORD kButtonFrame[3] = {0xC00000, 0x00C000, 0x0000C0};
constexpr DWORD kTabFrame[3] = {0xC0C000, 0x00C0C0, 0xC000C0};
// hot@2x.png's frames. The test skin's other @2x pictures are unsound (one row short, not a PNG,
// a header that claims 30000 x 30000): their 1x pictures are drawn.
constexpr DWORD kTabFrame2x[3] = {0x808000, 0x008080, 0x800080};

// The surface as a paint draws it (or as `paint` draws it), from a top-down 32-bit DIB.
class Render {
public:
    Render(HWND hWnd, int w, int h)
        : Render(w, h, [hWnd](HDC dc) {
              SendMessageW(hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
          }) {}
    Render(int w, int h, const std::function<void(HDC)>& paint) : m_w(w) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, dib);
        paint(dc);
        GdiFlush();
        const DWORD* px = static_cast<const DWORD*>(bits);
        m_px.assign(px, px + static_cast<size_t>(w) * h);
        SelectObject(dc, old);
        DeleteObject(dib);
        DeleteDC(dc);
    }
    DWORD At(int x, int y) const { return m_px[static_cast<size_t>(y) * m_w + x] & 0xFFFFFF; }
    DWORD At(POINT p) const { return At(p.x, p.y); }
    size_t Differing(const Render& other) const {
        size_t n = 0;
        for (size_t i = 0; i < m_px.size(); ++i)
            n += (m_px[i] & 0xFFFFFF) != (other.m_px[i] & 0xFFFFFF);
        return n;
    }

private:
    int m_w;
    std::vector<DWORD> m_px;
};

POINT Centre(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class Paint : public GdiplusSuite {
protected:
    const std::wstring m_skin = testutil::ExeDir() + L"testskin\\";
};

} // namespace

TEST_F(Paint, SurfaceBandsBorderAndEachControlInTheFrameOfItsState) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    probe.UseSkin(m_skin);
    struct Size {
        int w, h;
    } sizes[] = {{1004, 695}, {1200, 800}};
    for (const Size& sz : sizes) {
        const int W = sz.w, H = sz.h;
        SCOPED_TRACE(testing::Message() << W << "x" << H);
        SetWindowPos(wnd.m_hWnd, nullptr, 0, 0, W, H, SWP_NOMOVE | SWP_NOZORDER);
        ControlLayout l = probe.Layout();

        // At start: every button in frame 0 and only the selected tab in frame 2.
        Render start(wnd.m_hWnd, W, H);
        for (const RECT& r : {l.min, l.max, l.close, l.feedback})
            EXPECT_EQ(kButtonFrame[0], start.At(Centre(r)));
        for (int i = 0; i < kTabCount; ++i)
            EXPECT_EQ(kTabFrame[i == 0 ? 2 : 0], start.At(Centre(l.tab[i]))) << "tab " << i;
        EXPECT_EQ(214, Centre(l.tab[0]).x); // tabs stay where they are, buttons follow the edge
        EXPECT_EQ(W - 25, Centre(l.close).x);

        struct Px {
            int x, y;
            DWORD colour;
        } pixels[] = {
            {W - 200, 1, kTop},
            {W - 200, 44, kTop},
            {W - 200, 46, kWhite},
            {W - 200, H - 31, kWhite},
            {W - 200, H - 30, kBottom},
            {500, H - 2, kBottom},
            {0, 300, kBorder},
            {W - 1, 300, kBorder},
            {500, 0, kBorder},
            {500, H - 1, kBorder},
            {0, 0, kBorder},
            {77, 23, kLogo},
            {166, H - 16, kLink},
            {400, 47, kTabFrame[0]},
        };
        for (const Px& p : pixels)
            EXPECT_EQ(p.colour, start.At(p.x, p.y)) << "at " << p.x << "," << p.y;
        // The free column between minimise and maximise shows the header strip. (The strip's
        // right end blends with the bitmap's edge when stretched, so compare within the column.)
        EXPECT_EQ(start.At(W - 76, 43), start.At(W - 76, 20));
        // The caption text inks the bottom bar's right end.
        int inked = 0;
        for (int y = H - 23; y < H - 1; ++y) {
            for (int x = W - 133; x < W - 1; ++x)
                inked += start.At(x, y) != start.At(x, H - 28);
        }
        EXPECT_GT(inked, 20);

        // Every state shows its own frame.
        ControlStates s = probe.States();
        s.state[kMinButton] = kHover;
        s.state[kMaxButton] = kPressed;
        s.state[kFeedbackButton] = kHover;
        s.state[kFirstTab + 3] = kHover;
        s.state[kFirstTab + 5] = kPressed;
        probe.SetStates(s);
        Render states(wnd.m_hWnd, W, H);
        for (int id = kMinButton; id < kControlCount; ++id) {
            const DWORD* frames = id < kFirstTab ? kButtonFrame : kTabFrame;
            EXPECT_EQ(frames[s.state[id]], states.At(Centre(ControlRect(l, id)))) << "id " << id;
        }
        probe.SetStates(ControlStates());
    }
}

TEST_F(Paint, MissingSkinFilesLeaveOnlyTheirOwnElementsOut) {
    std::wstring dir = testutil::MakeTempDir(L"partskin");
    for (const wchar_t* f : {L"top.png", L"hot.png", L"min.png"})
        ASSERT_TRUE(CopyFileW((m_skin + f).c_str(), (dir + f).c_str(), FALSE));
    {
        CMainWnd wnd;
        CMainWndProbe probe(wnd);
        probe.UseSkin(dir);
        ControlLayout l = probe.Layout();
        Render r(wnd.m_hWnd, 1004, 695);
        EXPECT_EQ(kTabFrame[2], r.At(Centre(l.tab[0])));
        EXPECT_EQ(kButtonFrame[0], r.At(Centre(l.min)));
        // The header strip shows through where buttons, tabs and the logo are missing.
        for (const RECT& missing : {l.close, l.max, l.feedback})
            EXPECT_EQ(r.At(Centre(missing).x, 43), r.At(Centre(missing)));
        for (const RECT& missing : {l.tab[1], l.tab[5]})
            EXPECT_EQ(kTop, r.At(Centre(missing)));
        EXPECT_EQ(kTop, r.At(77, 23));
        EXPECT_EQ(kWhite, r.At(500, 300));
        EXPECT_EQ(kBorder, r.At(1003, 300));
    }
    testutil::RemoveTree(dir);
}

TEST_F(Paint, PreparedImagesDrawTheSamePixelsAsPlainOnes) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    ControlStates s = probe.States();
    s.state[kMinButton] = kHover; // a frame other than the first
    probe.SetStates(s);
    Render prepared(wnd.m_hWnd, 1004, 695);
    probe.UsePlainImages();
    Render plain(wnd.m_hWnd, 1004, 695);
    int differing = 0;
    for (int y = 0; y < 695; ++y) {
        for (int x = 0; x < 1004; ++x)
            differing += prepared.At(x, y) != plain.At(x, y);
    }
    EXPECT_EQ(0, differing);
}

// The whole surface drawn afresh and composed as every paint once composed it, at the window's
// scale when it has one.
void DrawFresh(HDC dc, CMainWndProbe& probe, int W, int H, bool scaled = false) {
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP frame = CreateCompatibleBitmap(dc, W, H);
    HGDIOBJ old = SelectObject(mem, frame);
    {
        Gdiplus::Graphics g(mem);
        if (scaled)
            DrawSurface(g, probe.Skin(), probe.Map(), probe.Layout(), probe.States());
        else
            DrawSurface(g, probe.Skin(), W, H, probe.Layout(), probe.States());
    }
    BitBlt(dc, 0, 0, W, H, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(frame);
    DeleteDC(mem);
}

// What paints keep between them (the surface for its size, the frame of the last paint) gives the
// pixels of a fresh draw, printed and on the window itself, after a skin changed under a paint, at
// the default size and maximised, after the controls changed frames.
TEST_F(Paint, KeptSurfaceDrawsWhatAFreshDrawDraws) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    probe.BeginSkin(m_skin);
    Render(wnd.m_hWnd, 1004, 695); // still the old pictures
    probe.AwaitSkin();
    EXPECT_EQ(0u, Render(wnd.m_hWnd, 1004, 695).Differing(Render(1004, 695, [&](HDC dc) {
        DrawFresh(dc, probe, 1004, 695);
    })));
    ShowWindow(wnd.m_hWnd, SW_SHOWNA);
    // The window's pixels after its own paint, or after a fresh draw onto it.
    auto shown = [&](int W, int H, bool fresh) {
        return Render(W, H, [&](HDC out) {
            HDC dc = GetDC(wnd.m_hWnd);
            if (fresh)
                DrawFresh(dc, probe, W, H);
            else
                RedrawWindow(wnd.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            BitBlt(out, 0, 0, W, H, dc, 0, 0, SRCCOPY);
            ReleaseDC(wnd.m_hWnd, dc);
        });
    };
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    for (SIZE sz : {SIZE{1004, 695}, SIZE{work.right - work.left, work.bottom - work.top}}) {
        const int W = sz.cx, H = sz.cy;
        SCOPED_TRACE(testing::Message() << W << "x" << H);
        SetWindowPos(wnd.m_hWnd, nullptr, 0, 0, W, H, SWP_NOMOVE | SWP_NOZORDER);
        ControlStates s = probe.States();
        s.state[kCloseButton] = kPressed;
        s.state[kFirstTab + 2] = kHover;
        ControlStates t = s;
        std::swap(t.state[kCloseButton], t.state[kMinButton]);
        std::swap(t.state[kFirstTab + 2], t.state[kFirstTab + 4]);
        // Each target twice, so that the second paint starts from the first one's frame.
        probe.SetStates(s);
        Render before(wnd.m_hWnd, W, H);
        probe.SetStates(t);
        Render printed(wnd.m_hWnd, W, H);
        EXPECT_EQ(0u, printed.Differing(Render(W, H, [&](HDC dc) { DrawFresh(dc, probe, W, H); })));
        EXPECT_NE(0u, printed.Differing(before));
        probe.SetStates(s);
        shown(W, H, false);
        probe.SetStates(t);
        EXPECT_EQ(0u, shown(W, H, false).Differing(shown(W, H, true)));
        probe.SetStates(ControlStates());
    }
}

// Repaints of only what changed, in one piece or in several, leave the window as a full compose
// of the new states would, at the default size, a larger one and maximised, at 96 and 144 DPI.
TEST_F(Paint, RepaintsOfWhatChangedLeaveWhatAFullComposeLeaves) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    probe.UseSkin(m_skin);
    ShowWindow(wnd.m_hWnd, SW_SHOWNA);
    auto window = [&](int W, int H) {
        return Render(W, H, [&](HDC out) {
            HDC dc = GetDC(wnd.m_hWnd);
            BitBlt(out, 0, 0, W, H, dc, 0, 0, SRCCOPY);
            ReleaseDC(wnd.m_hWnd, dc);
        });
    };
    auto half = [](RECT r, bool upper) {
        (upper ? r.bottom : r.top) = (r.top + r.bottom) / 2;
        return r;
    };
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const struct {
        unsigned dpi;
        SIZE size;
    } cases[] = {{96, {1004, 695}},   {96, {1200, 800}},   {96, {work.right, work.bottom}},
                 {144, {1506, 1043}}, {144, {1800, 1200}}, {144, {work.right, work.bottom}}};
    for (const auto& c : cases) {
        const int PW = c.size.cx, PH = c.size.cy;
        SCOPED_TRACE(testing::Message() << PW << "x" << PH << " at " << c.dpi);
        probe.SetScale(c.dpi, RECT{0, 0, 4000, 3000});
        SetWindowPos(wnd.m_hWnd, nullptr, 0, 0, PW, PH, SWP_NOMOVE | SWP_NOZORDER);
        RedrawWindow(wnd.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        const PixelMap map = probe.Map();
        const int W = map.Width(), H = map.Height();
        const ControlLayout l = probe.Layout();
        const int tab = kFirstTab;
        // Each step: the states it sets, and what it asks to repaint.
        const struct {
            const char* what;
            std::vector<std::pair<int, int>> states; // control id, state
            std::vector<RECT> repaint;
        } steps[] = {
            {"hover on a tab", {{tab + 2, kHover}}, {l.tab[2]}},
            {"hover to a far tab", {{tab + 2, 0}, {tab + 5, kHover}}, {l.tab[2], l.tab[5]}},
            {"close pressed", {{kCloseButton, kPressed}}, {l.close}},
            {"another tab selected", {{tab, 0}, {tab + 3, kPressed}}, {l.tab[0], l.tab[3]}},
            {"a button in halves", {{kMinButton, kHover}}, {half(l.min, true), half(l.min, false)}},
            {"a column through every band", {}, {RECT{W - 60, 0, W - 50, H}}},
            {"across tabs into the body",
             {{tab + 1, kHover}},
             {RECT{l.tab[1].left - 5, l.tab[1].top, l.tab[1].right + 5, 300}}},
            {"the bottom bar", {}, {RECT{0, H - 40, W, H}}},
            {"everything back",
             {{tab, kPressed},
              {tab + 1, 0},
              {tab + 3, 0},
              {tab + 5, 0},
              {kCloseButton, 0},
              {kMinButton, 0}},
             {RECT{0, 0, W, 48}}},
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(step.what);
            ControlStates s = probe.States();
            for (auto [id, state] : step.states)
                s.state[id] = state;
            probe.SetStates(s);
            for (const RECT& rc : step.repaint) {
                RECT px = map.ToRepaint(rc);
                InvalidateRect(wnd.m_hWnd, &px, FALSE);
            }
            UpdateWindow(wnd.m_hWnd);
            Render repainted = window(PW, PH);
            HDC dc = GetDC(wnd.m_hWnd);
            DrawFresh(dc, probe, PW, PH, true);
            ReleaseDC(wnd.m_hWnd, dc);
            EXPECT_EQ(0u, repainted.Differing(window(PW, PH)));
        }
    }
}

// At 144 DPI every control shows its frame around its scaled centre, from the skin's sound @2x
// pictures (frame k at rows 2·k·h), and the caption's glyphs come from a font made for the
// scale: ink half as tall again as at 96, not a stretched bitmap. Back at 96, the 1x pictures.
TEST_F(Paint, AtAScaleControlsAndCaptionAreDrawnForThePixels) {
    CMainWnd wnd;
    CMainWndProbe probe(wnd);
    probe.UseSkin(m_skin);
    int inkRows[3] = {};
    const struct {
        unsigned dpi;
        int w, h;
    } cases[] = {{96, 1004, 695}, {144, 1506, 1043}, {96, 1004, 695}};
    for (int c = 0; c < 3; ++c) {
        const int PW = cases[c].w, PH = cases[c].h;
        probe.SetScale(cases[c].dpi, RECT{0, 0, 4000, 3000});
        SetWindowPos(wnd.m_hWnd, nullptr, 0, 0, PW, PH, SWP_NOMOVE | SWP_NOZORDER);
        const PixelMap map = probe.Map();
        const ControlLayout l = probe.Layout();
        Render r(wnd.m_hWnd, PW, PH);
        for (int id = kMinButton; id < kControlCount; ++id) {
            const DWORD* frames = id < kFirstTab              ? kButtonFrame
                                  : id == kFirstTab && c == 1 ? kTabFrame2x
                                                              : kTabFrame;
            RECT px = map.ToPixels(ControlRect(l, id));
            EXPECT_EQ(frames[id == kFirstTab ? 2 : 0], r.At(Centre(px)))
                << cases[c].dpi << " " << id;
        }
        // The rows of the caption's box that the text inks.
        RECT box = map.ToPixels(
            RECT{map.Width() - 133, map.Height() - 23, map.Width() - 2, map.Height() - 1});
        for (int y = box.top; y < box.bottom; ++y) {
            bool inked = false;
            for (int x = box.left; x < box.right && !inked; ++x)
                inked = r.At(x, y) != r.At(x, box.top - 2);
            inkRows[c] += inked;
        }
    }
    EXPECT_GT(inkRows[0], 5);
    EXPECT_NEAR(1.5 * inkRows[0], inkRows[1], 2.5);
}
