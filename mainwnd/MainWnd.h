#pragma once

#include "framework/afxwin.h"
#include "mainwnd/Interaction.h"
#include "mainwnd/Layout.h"
#include "mainwnd/Scale.h"
#include "mainwnd/Surface.h"

#include "framework/afxgdiplus.h"
#include "framework/handles.h"

#include <atomic>
#include <iterator>
#include <memory>
#include <string>

class CMainWndAccessible;
class CWebDlg;

// The tray icon's callback message.
constexpr UINT WM_TRAYNOTIFY = WM_USER + 100;
// Does what a click on a control does (wParam: its id); posted by the accessible object.
constexpr UINT WM_CONTROLACTION = WM_USER + 101;

// Name of the mutex and of the window property that mark the running copy.
extern const wchar_t kInstanceMarker[];

// The client's one top-level window: frameless, skinned, 1004 x 695, centred.
class CMainWnd : public CWnd {
public:
    CMainWnd();
    ~CMainWnd() override;

    // Opens the first tab's page; the page host plugs in here.
    void CreateFirstPage();
    // The same for a window just shown and painted: its frame goes to the screen first, then
    // the page is made and takes the keyboard focus the window has.
    void CreateFirstPageAfterFrame();
    // The tab keys.
    HACCEL GetDefaultAccelerator() override;

    // Shared with the page windows (through g_pMainWnd) and the report thread. m_bOnline is
    // written on the user-interface thread and read by the report thread.
    std::atomic<BOOL> m_bOnline{FALSE};
    RECT m_rcWebArea = {};
    Gdiplus::Image* m_pImgNet = nullptr;
    // Pixels per design unit of m_pImgNet: 2 for the skin's @2x picture.
    int NetFactor() const { return SkinFactor(m_pImgNet); }
    std::wstring m_strVersion;
    std::wstring m_strChannel;
    UINT_PTR m_nTimerId = 1;
    // Pixels per design unit; the page windows draw their offline picture at it.
    double Scale() const { return m_map.Scale(); }

protected:
    int OnCreate(LPCREATESTRUCTW lpCreateStruct);
    void OnSize(UINT nType, int cx, int cy);
    void OnTimer(UINT_PTR nIDEvent);
    void OnPaint();
    BOOL OnEraseBkgnd(HDC hDC);
    void OnNcPaint();
    void OnMouseMove(UINT nFlags, POINT point);
    void OnLButtonDown(UINT nFlags, POINT point);
    void OnLButtonUp(UINT nFlags, POINT point);
    void OnMouseLeave();
    LRESULT OnNcHitTest(POINT point);
    void OnNcLButtonDown(UINT nHitTest, POINT point);
    BOOL OnSetCursor(HWND hWnd, UINT nHitTest, UINT message);
    void OnGetMinMaxInfo(MINMAXINFO* lpMMI);
    // Another monitor or another scale: the system's rectangle, the scale of that DPI.
    LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
    // A work area that changed (the taskbar moved or grew) refits the window.
    LRESULT OnSettingChange(WPARAM wParam, LPARAM lParam);
    void OnClose();
    void OnDestroy();
    void OnSysCommand(UINT nID, LPARAM lParam);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnShowMain();
    void OnFeedback();
    void OnExit();
    void OnTabKey(UINT nID);
    // The client area's accessible object, made on the first request.
    LRESULT OnGetObject(WPARAM wParam, LPARAM lParam);
    LRESULT OnControlAction(WPARAM wParam, LPARAM lParam);
    // Renders the surface into a caller's device context, as a paint would.
    LRESULT OnPrintClient(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    friend class CMainWndProbe; // the window tests look inside
    friend class CMainWndAccessible;
    // The window's own skin files with the field each one fills; the tab table's pictures
    // follow them.
    struct SkinEntry {
        const wchar_t* file;
        Gdiplus::Image* CMainWnd::*field;
    };
    static const SkinEntry s_skin[9];
    static constexpr size_t kSkinCount = std::size(s_skin) + kTabCount;
    // Skin picture i in loading order, and the field it goes into.
    static const wchar_t* SkinFile(size_t i);
    Gdiplus::Image*& SkinSlot(size_t i);
    // Pixels per design unit of a skin field's picture: 2 where its @2x picture was loaded.
    int SkinFactor(const Gdiplus::Image* image) const;

    // OnCreate's work; what it throws fails the creation.
    void CreateParts();
    void GetModuleDir(std::wstring& dir);
    void GetModulePath(std::wstring& path);
    void LoadSkin();
    // LoadSkin in two halves: the pictures decode on a worker from BeginLoadSkin on, and
    // AwaitSkin puts them into their fields. A paint in between draws the old pictures.
    void BeginLoadSkin();
    void AwaitSkin();
    void JoinSkinWorker();
    // Starts decoding the skin for the current scale, after any pending one is in.
    void StartSkinWorker();
    static UINT SkinThreadProc(LPVOID pParam);
    void LayoutControls();
    void LoadChannel();
    void StartReportThread();
    void CreateFontFamily();
    // Drops the skin, a pending one included, without allocating.
    void ReleaseSkin();
    // What creation made and the window's end releases: tray icon, skin, pages, font.
    void ReleaseParts();
    int UpdateTrayIcon(DWORD dwMessage);

    // Draws the whole surface off screen and copies it to hDC in one blit.
    void PaintSurface(HDC hDC);
    // Build what the first paint needs while start-up goes on.
    void PrepareBackdrop();
    void PrepareSurface();
    SurfaceSkin Skin() const;

    // Applies the repaints of a mouse rule, then runs its action.
    void Apply(const MouseOutcome& out);
    // Runs one mouse rule on the control states, applies what it decided, then the default.
    template <typename Rule> void RunMouseRule(Rule rule);
    // Selects tab i however it was chosen: its state, its page (made on first use), the repaint.
    void SelectTab(int tab);
    void ShowTab(int tab);
    // A new page for tab i over the page area; null when it could not be created.
    CWebDlg* CreatePage(int tab);
    // Moves a page over the page area.
    void PlacePage(CWebDlg* page);
    void CalcResizeRects();
    // The scale for a DPI on the monitor whose work area is given, for every later size.
    void SetScale(unsigned dpi, const RECT& work);
    // The window's icons for its DPI.
    void SetIconsForDpi();
    // What a repaint of a design rectangle must cover in the client area.
    RECT ToRepaint(const RECT& design) const { return m_map.ToRepaint(design); }

    // The client area in design units; m_map puts them on its pixels.
    int m_nWidth = 0;
    int m_nHeight = 0;
    PixelMap m_map;
    unsigned m_nDpi = 96;

    Gdiplus::Image* m_pImgMin = nullptr;
    Gdiplus::Image* m_pImgMax = nullptr;
    Gdiplus::Image* m_pImgClose = nullptr;
    Gdiplus::Image* m_pImgFeedback = nullptr;
    Gdiplus::Image* m_pImgLogo = nullptr;
    Gdiplus::Image* m_pImgTab[kTabCount] = {};
    Gdiplus::Image* m_pImgBottom = nullptr;
    Gdiplus::Image* m_pImgTop = nullptr;
    Gdiplus::Image* m_pImgContent = nullptr;

    // Picture i is the skin's @2x one; the fields' skin was loaded for a scale above 1.
    bool m_bSkinDoubled[kSkinCount] = {};
    bool m_bSkinTwice = false;

    struct PendingSkin {
        std::wstring dir;
        // The @2x pictures where sound, and which were taken.
        bool twice = false;
        Gdiplus::Image* image[kSkinCount] = {}; // in loading order; null when not decoded
        bool doubled[kSkinCount] = {};
        ~PendingSkin() {
            for (Gdiplus::Image* i : image)
                delete i;
        }
    };
    std::unique_ptr<PendingSkin> m_pendingSkin;
    HANDLE m_hSkinThread = nullptr;

    ControlLayout m_layout = {};
    ControlStates m_states;
    SizingBands m_bands = {};
    BOOL m_bExiting = FALSE;

    std::wstring m_strAppDir;
    std::wstring m_strSkinDir;
    std::wstring m_strAppPath;

    HICON m_hIcon = nullptr;
    // Above 96 DPI: the window's icons at the system's sizes for its monitor, and the tray's for
    // the system DPI; m_hIcon serves where these are null.
    UniqueIcon m_hIconBig, m_hIconSmall, m_hIconTray;
    CWebDlg* m_pWebDlg[kTabCount] = {};
    Gdiplus::FontFamily* m_pFontFamily = nullptr;
    SIZE m_szRegion = {-1, -1}; // the size the window's region was made for

    // Made at the first key, without the numbers of tabs there are not.
    UniqueAccelerator m_hTabKeys;
    BOOL m_bTabKeysLoaded = FALSE;

    // The client area's accessible object, made on first use; none once the window is going.
    CMainWndAccessible* Accessible();
    // Asked for by screen readers; detached when the window goes, after which none is made.
    CMainWndAccessible* m_pAccessible = nullptr;
    // Detaches, disconnects and drops it: every path that ends the window calls this.
    void ReleaseAccessible();
    BOOL m_bDestroyed = FALSE;

    BOOL m_bReportStarted = FALSE;
    // The network state the previous tick saw (none before the first). Pages write m_bOnline
    // too; a rise they caused must not hide the one the tick is waiting for.
    BOOL m_bLastTickOnline = FALSE;
    // What paints keep for the current size and skin; released with the skin.
    CSurfaceCache m_surface;
};

extern CMainWnd* g_pMainWnd;
