#pragma once

#include "framework/afxwin.h"
#include "mainwnd/Layout.h"

#include "framework/afxgdiplus.h"

#include <atomic>
#include <string>

class CWebDlg;

// Name of the mutex and of the window property that mark the running copy.
extern const wchar_t kInstanceMarker[];

// The client's one top-level window: frameless, skinned, 1004 x 695, centred.
class CMainWnd : public CWnd {
public:
    CMainWnd();
    ~CMainWnd() override;

    void GetModuleDir(std::wstring& dir);
    void GetModulePath(std::wstring& path);
    void LoadSkin();
    void LayoutControls();
    void LoadChannel();
    // Opens the first tab's page; the page host plugs in here.
    void CreateFirstPage();
    void StartReportThread();

    int m_nWidth = 0;
    int m_nHeight = 0;
    BOOL m_bMaximized = FALSE;

    Gdiplus::Image* m_pImgMin = nullptr;
    Gdiplus::Image* m_pImgMax = nullptr;
    Gdiplus::Image* m_pImgClose = nullptr;
    Gdiplus::Image* m_pImgFeedback = nullptr;
    Gdiplus::Image* m_pImgLogo = nullptr;
    Gdiplus::Image* m_pImgTab[kTabCount] = {};
    Gdiplus::Image* m_pImgBottom = nullptr;
    Gdiplus::Image* m_pImgTop = nullptr;
    Gdiplus::Image* m_pImgContent = nullptr;
    Gdiplus::Image* m_pImgNet = nullptr;

    RECT m_rcMin = {};
    RECT m_rcClose = {};
    RECT m_rcMax = {};
    RECT m_rcFeedback = {};
    RECT m_rcTab[kTabCount] = {};
    RECT m_rcHomeLink = {};

    int m_nMinState = 0;
    int m_nCloseState = 0;
    int m_nMaxState = 0;
    int m_nFeedbackState = 0;
    int m_nTabState[kTabCount] = {};
    BOOL m_bExiting = FALSE;

    std::wstring m_strAppDir;
    std::wstring m_strSkinDir;
    std::wstring m_strVersion;
    std::wstring m_strAppPath;
    std::wstring m_strChannel;

    // Written on the user-interface thread, read by the report thread.
    std::atomic<BOOL> m_bOnline{FALSE};
    int m_nHoverId = 0;
    int m_nCurTab = 5;
    HICON m_hIcon = nullptr;
    UINT_PTR m_nTimerId = 1;
    CWebDlg* m_pWebDlg[kTabCount] = {};
    Gdiplus::FontFamily* m_pFontFamily = nullptr;

    RECT m_rcTopEdge = {}, m_rcLeftEdge = {}, m_rcRightEdge = {}, m_rcBottomEdge = {};
    RECT m_rcTopLeft = {}, m_rcTopRight = {}, m_rcBottomLeft = {}, m_rcBottomRight = {};

    BOOL m_bReportStarted = FALSE;
    // The network state the previous tick saw (none before the first). Pages write m_bOnline
    // too; a rise they caused must not hide the one the tick is waiting for.
    BOOL m_bLastTickOnline = FALSE;
    RECT m_rcWebArea = {};
    BOOL m_bTrackingMouse = FALSE;

protected:
    int OnCreate(LPCREATESTRUCTW lpCreateStruct);
    void OnSize(UINT nType, int cx, int cy);
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();

    DECLARE_MESSAGE_MAP()

private:
    void CreateFontFamily();
    void ReleaseSkin();
};

extern CMainWnd* g_pMainWnd;
