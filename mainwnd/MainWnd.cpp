#include "mainwnd/MainWnd.h"

#include "app/GameClient.h"
#include "mainwnd/ConnectionCheck.h"
#include "portal.h"
#include "report/ClientIdentity.h"
#include "report/UsageReport.h"
#include "res/resource.h"
#include "web/WebDlg.h"
#include "framework/handles.h"

#include <wininet.h>

const wchar_t kInstanceMarker[] = L"开服盒子";

CMainWnd* g_pMainWnd = nullptr;

namespace {

// Skin files in their loading order, with the field each one fills.
struct SkinEntry {
    const wchar_t* file;
    Gdiplus::Image* CMainWnd::*field;
    int tab; // index into m_pImgTab when field is null
};

const SkinEntry kSkin[] = {
    {L"min.png", &CMainWnd::m_pImgMin, -1},
    {L"close.png", &CMainWnd::m_pImgClose, -1},
    {L"max.png", &CMainWnd::m_pImgMax, -1},
    {L"net.png", &CMainWnd::m_pImgNet, -1},
    {L"fackback.png", &CMainWnd::m_pImgFeedback, -1},
    {L"logo.png", &CMainWnd::m_pImgLogo, -1},
    {L"content.png", &CMainWnd::m_pImgContent, -1},
    {L"hot.png", nullptr, 0},
    {L"openg.png", nullptr, 1},
    {L"game.png", nullptr, 2},
    {L"platform.png", nullptr, 3},
    {L"package.png", nullptr, 4},
    {L"new.png", nullptr, 5},
    {L"top.png", &CMainWnd::m_pImgTop, -1},
    {L"bottombg.png", &CMainWnd::m_pImgBottom, -1},
};

} // namespace

BEGIN_MESSAGE_MAP(CMainWnd, CWnd)
ON_WM_CREATE()
ON_WM_SIZE()
ON_WM_TIMER()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CMainWnd::CMainWnd() {
    m_nTabState[0] = 2; // the first tab is shown selected from the start
    LPCWSTR cls =
        AfxRegisterWndClass(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                            reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr);
    CreateEx(0, cls, L"Tovo",
             WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX |
                 WS_MAXIMIZEBOX,
             0, 0, 0, 0, nullptr, nullptr);
}

CMainWnd::~CMainWnd() {
    ReleaseSkin();
}

int CMainWnd::OnCreate(LPCREATESTRUCTW lpCreateStruct) {
    if (CWnd::OnCreate(lpCreateStruct) == -1)
        return -1;
    SetPropW(m_hWnd, kInstanceMarker, reinterpret_cast<HANDLE>(1));
    GetModuleDir(m_strAppDir);
    m_strSkinDir = m_strAppDir + L"skins\\Common\\";
    SetWindowText(L"Tovo页游开服");
    GetModulePath(m_strAppPath);
    m_strVersion = GetFileVersionString(ExtendedPath(m_strAppPath), L"FileVersion");

    m_hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_APP));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    LoadSkin();
    LayoutControls();
    LoadChannel();

    // A frameless window still casts a shadow.
    SetClassLongW(m_hWnd, GCL_STYLE, GetClassLongW(m_hWnd, GCL_STYLE) | CS_DROPSHADOW);

    POINT pos = CentredPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                m_nWidth, m_nHeight);
    SetWindowPos(nullptr, pos.x, pos.y, m_nWidth, m_nHeight, 0);

    g_pMainWnd = this;
    EnableDebugPrivilege();
    m_bOnline.store(CheckConnectionWithin(TOVO_PROBE_URL, 3000), std::memory_order_relaxed);
    CreateFontFamily();
    StartReportThread();
    return 0;
}

void CMainWnd::GetModuleDir(std::wstring& dir) {
    dir = DirectoryOf(AfxGetModuleFileName());
}

void CMainWnd::GetModulePath(std::wstring& path) {
    path = AfxGetModuleFileName();
}

void CMainWnd::LoadSkin() {
    for (const SkinEntry& e : kSkin) {
        std::wstring path = ExtendedPath(m_strSkinDir + e.file);
        // A missing file still gives an image object, which then draws nothing.
        Gdiplus::Image* image = new Gdiplus::Image(path.c_str(), FALSE);
        if (e.field)
            this->*e.field = image;
        else
            m_pImgTab[e.tab] = image;
    }
    m_nWidth = kDefaultWidth;
    m_nHeight = kDefaultHeight;
}

void CMainWnd::ReleaseSkin() {
    for (const SkinEntry& e : kSkin) {
        Gdiplus::Image*& image = e.field ? this->*e.field : m_pImgTab[e.tab];
        delete image;
        image = nullptr;
    }
}

void CMainWnd::LayoutControls() {
    ControlLayout l = ComputeLayout(m_nWidth, m_nHeight);
    m_rcFeedback = l.feedback;
    m_rcMin = l.min;
    m_rcMax = l.max;
    m_rcClose = l.close;
    for (int i = 0; i < kTabCount; ++i)
        m_rcTab[i] = l.tab[i];
    m_rcHomeLink = l.homeLink;
}

void CMainWnd::LoadChannel() {
    m_strChannel = ReadChannel(m_strAppDir);
}

void CMainWnd::CreateFontFamily() {
    m_pFontFamily = new Gdiplus::FontFamily(L"微软雅黑");
    if (!m_pFontFamily->IsAvailable()) {
        delete m_pFontFamily;
        m_pFontFamily = new Gdiplus::FontFamily(L"宋体");
    }
}

void CMainWnd::CreateFirstPage() {}

void CMainWnd::OnSize(UINT, int cx, int cy) {
    m_nWidth = cx;
    m_nHeight = cy;
    m_rcWebArea = WebAreaFor(cx, cy);
    for (CWebDlg* page : m_pWebDlg) {
        if (page)
            page->MoveWindow(1, 46, cx - 2, cy - 76, TRUE);
    }
    LayoutControls();
    // The system owns the region once it is set.
    SetWindowRgn(m_hWnd, CreateRoundRectRgn(0, 0, cx + 1, cy + 1, 4, 4), TRUE);
    Default();
}

void CMainWnd::StartReportThread() {
    if (!ShouldStartReport(m_bOnline.load(std::memory_order_relaxed), m_bReportStarted))
        return;
    m_bReportStarted = TRUE;
    UniqueHandle thread(CreateThread(nullptr, 0, ReportThreadProc, this, 0, nullptr));
}

void CMainWnd::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == m_nTimerId) {
        DWORD flags = 0;
        BOOL wasOnline = m_bOnline.load(std::memory_order_relaxed);
        BOOL online = InternetGetConnectedState(&flags, 0);
        m_bOnline.store(online, std::memory_order_relaxed);
        if (ShouldStartOnTick(wasOnline, online))
            StartReportThread();
    }
    Default();
}

void CMainWnd::OnDestroy() {
    ReleaseSkin();
    delete m_pFontFamily;
    m_pFontFamily = nullptr;
    Default();
}
