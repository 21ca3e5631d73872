#pragma once
// What the window tests read and set inside the main window.

#include "mainwnd/MainWnd.h"
#include "mainwnd/MainWndAccessible.h"

#include <iterator>
#include <cwchar>
#include <vector>

class CMainWndProbe {
public:
    explicit CMainWndProbe(CMainWnd& wnd) : w(wnd) {}

    std::wstring& AppDir() { return w.m_strAppDir; }
    std::wstring& SkinDir() { return w.m_strSkinDir; }
    BOOL ReportStarted() const { return w.m_bReportStarted; }
    Gdiplus::FontFamily* FontFamily() const { return w.m_pFontFamily; }
    int Width() const { return w.m_nWidth; }
    int Height() const { return w.m_nHeight; }
    ControlLayout Layout() const { return w.m_layout; }
    ControlStates States() const { return w.m_states; }
    void SetStates(const ControlStates& s) { w.m_states = s; }
    void LoadSkin() { w.LoadSkin(); }
    // The two halves of LoadSkin, for what may come between them.
    void BeginSkin(const std::wstring& dir) {
        w.m_strSkinDir = dir;
        w.BeginLoadSkin();
    }
    void AwaitSkin() { w.AwaitSkin(); }
    HANDLE SkinWorker() const { return w.m_hSkinThread; }
    SurfaceSkin Skin() const { return w.Skin(); }
    // The scale of a monitor with that DPI and work area, for every later size.
    void SetScale(unsigned dpi, const RECT& work) { w.SetScale(dpi, work); }
    PixelMap Map() const { return w.m_map; }
    // Replaces every image by the file as GDI+ loads it, without any preparation.
    void UsePlainImages() {
        w.m_surface.Release();
        for (size_t i = 0; i < CMainWnd::kSkinCount; ++i) {
            Gdiplus::Image*& image = w.SkinSlot(i);
            delete image;
            image = new Gdiplus::Image((w.m_strSkinDir + CMainWnd::SkinFile(i)).c_str(), FALSE);
        }
    }
    // Replaces the skin of a window still at its default size.
    void UseSkin(const std::wstring& dir) {
        w.ReleaseSkin();
        w.m_strSkinDir = dir;
        w.LoadSkin();
        w.LayoutControls();
    }
    // The image fields, named one by one: min, max, close, feedback, logo, top, bottom, content,
    // net, then the tabs in the tab table's order.
    std::vector<Gdiplus::Image*> Fields() const {
        std::vector<Gdiplus::Image*> fields = {w.m_pImgMin,    w.m_pImgMax,     w.m_pImgClose,
                                               w.m_pImgFeedback, w.m_pImgLogo,  w.m_pImgTop,
                                               w.m_pImgBottom, w.m_pImgContent, w.m_pImgNet};
        fields.insert(fields.end(), std::begin(w.m_pImgTab), std::end(w.m_pImgTab));
        return fields;
    }
    void ForgetLastTick() { w.m_bLastTickOnline = FALSE; }
    BOOL Maximized() const { return w.m_states.maximized; }
    CWebDlg* Page(int tab) const { return w.m_pWebDlg[tab]; }
    // The accessible object itself, as a reader in this process would hold it; null when none.
    IAccessible* Accessible() {
        IAccessible* object = w.Accessible();
        if (object)
            object->AddRef();
        return object;
    }
    // The image of a skin file, by its name.
    Gdiplus::Image* Image(const wchar_t* file) const {
        for (size_t i = 0; i < CMainWnd::kSkinCount; ++i) {
            if (wcscmp(CMainWnd::SkinFile(i), file) == 0)
                return w.SkinSlot(i);
        }
        return nullptr;
    }

private:
    CMainWnd& w;
};
