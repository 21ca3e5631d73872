// The main window's paint, rendered off screen and read back, with a skin of known colours.

#include "window/main_wnd_probe.h"
#include "support/test_util.h"

#include "window/gdiplus_suite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Colours of the test skin (tests/data/skin).
constexpr DWORD kTop = 0x204060, kBottom = 0x604020, kLogo = 0x00FF00, kLink = 0xFF00FF;
constexpr DWORD kWhite = 0xFFFFFF, kBorder = 0x0D4465;
constexpr DWORD kButtonFrame[3] = {0xC00000, 0x00C000, 0x0000C0};
constexpr DWORD kTabFrame[3] = {0xC0C000, 0x00C0C0, 0xC000C0};

// The surface as a paint draws it, from a top-down 32-bit DIB.
class Render {
public:
    Render(HWND hWnd, int w, int h) : m_w(w) {
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
        SendMessageW(hWnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        GdiFlush();
        const DWORD* px = static_cast<const DWORD*>(bits);
        m_px.assign(px, px + static_cast<size_t>(w) * h);
        SelectObject(dc, old);
        DeleteObject(dib);
        DeleteDC(dc);
    }
    DWORD At(int x, int y) const { return m_px[static_cast<size_t>(y) * m_w + x] & 0xFFFFFF; }
    DWORD At(POINT p) const { return At(p.x, p.y); }

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

// A full paint of the shown window beside a bare copy of the same size: median and p90 of 200
// after 10 warm-ups.
TEST_F(Paint, FullPaintStaysWellInsideAFrame) {
    auto measure = [](auto paint) {
        LARGE_INTEGER freq, t0, t1;
        QueryPerformanceFrequency(&freq);
        std::vector<double> ms;
        for (int i = 0; i < 210; ++i) {
            QueryPerformanceCounter(&t0);
            paint();
            GdiFlush();
            QueryPerformanceCounter(&t1);
            if (i >= 10)
                ms.push_back(1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                             static_cast<double>(freq.QuadPart));
        }
        std::sort(ms.begin(), ms.end());
        return std::make_pair(ms[100], ms[180]);
    };
    CMainWnd wnd;
    ShowWindow(wnd.m_hWnd, SW_SHOWNA);
    auto paint = measure(
        [&] { RedrawWindow(wnd.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); });
    HDC dc = GetDC(wnd.m_hWnd);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, 1004, 695);
    HGDIOBJ old = SelectObject(mem, bmp);
    auto blit = measure([&] { BitBlt(dc, 0, 0, 1004, 695, mem, 0, 0, SRCCOPY); });
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(wnd.m_hWnd, dc);
    std::printf("full paint 1004x695: median %.2f ms, p90 %.2f ms; bare BitBlt: median %.2f ms, "
                "p90 %.2f ms\n",
                paint.first, paint.second, blit.first, blit.second);
    // Every paint completed, leaving nothing to update; how long they take is for make bench.
    EXPECT_FALSE(GetUpdateRect(wnd.m_hWnd, nullptr, FALSE));
}
