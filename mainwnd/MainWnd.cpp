#include "mainwnd/MainWnd.h"

#include "framework/afxdpi.h"
#include "framework/afxsecurity.h"
#include "mainwnd/AccessibleRules.h"
#include "mainwnd/MainWndAccessible.h"
#include "portal.h"
#include "report/ClientIdentity.h"
#include "report/NetworkProbe.h"
#include "report/UsageReport.h"
#include "res/resource.h"
#include "web/DefaultBrowser.h"
#include "web/PageAddresses.h"
#include "web/WebDlg.h"
#include "framework/handles.h"

#include <commctrl.h>
#include <iterator>
#include <new>
#include <shellapi.h>
#include <wininet.h>

const wchar_t kInstanceMarker[] = L"开服盒子";

CMainWnd* g_pMainWnd = nullptr;

namespace {

// GDI+ premultiplies a plain ARGB source on every draw; a copy premultiplied once draws the same
// pixels with less work.
Gdiplus::Image* Premultiplied(Gdiplus::Image* image) {
    using namespace Gdiplus;
    // Reading the last status would clear it, and a failed load must keep showing as failed.
    if (image->GetPixelFormat() != PixelFormat32bppARGB)
        return image;
    INT w = static_cast<INT>(image->GetWidth()), h = static_cast<INT>(image->GetHeight());
    auto* copy = new Bitmap(w, h, PixelFormat32bppPARGB);
    Status status = copy->GetLastStatus();
    if (status == Ok) {
        Graphics g(copy);
        g.SetCompositingMode(CompositingModeSourceCopy);
        status = g.DrawImage(image, Rect(0, 0, w, h), 0, 0, w, h, UnitPixel);
    }
    if (status != Ok) {
        delete copy;
        return image;
    }
    delete image;
    return copy;
}

// A missing file still gives an image object, which then draws nothing. With `twice`, the
// file's @2x picture where it is a sound one (`doubled`), else the file itself.
Gdiplus::Image* LoadSkinImage(const std::wstring& dir, const wchar_t* file, bool twice,
                              bool& doubled) {
    doubled = false;
    auto* image = new Gdiplus::Image(ExtendedPath(dir + file).c_str(), FALSE);
    if (twice) {
        auto* big = new Gdiplus::Image(ExtendedPath(dir + DoubleSkinFile(file)).c_str(), FALSE);
        // Sizes come from the header; the pixels are decoded only once it is taken.
        doubled = IsDoubleSkinPicture(image->GetWidth(), image->GetHeight(), big->GetWidth(),
                                      big->GetHeight());
        delete (doubled ? image : big);
        if (doubled)
            image = big;
    }
    return Premultiplied(image);
}

// The work area of the monitor that holds most of a rectangle.
RECT WorkAreaAt(const RECT& rc) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &info))
        return info.rcWork;
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

RECT WindowRectOf(HWND hWnd) {
    RECT rc = {};
    GetWindowRect(hWnd, &rc);
    return rc;
}

// The pieces of the window's update region when it has a few; none for a plain rectangle or
// one of many pieces, which are painted as their bounds.
std::vector<RECT> UpdateRects(HWND hWnd) {
    UniqueRegion region(CreateRectRgn(0, 0, 0, 0));
    if (!region || GetUpdateRgn(hWnd, region.get(), FALSE) != COMPLEXREGION)
        return {};
    union {
        RGNDATA data;
        BYTE bytes[sizeof(RGNDATAHEADER) + kMostComposedRects * sizeof(RECT)];
    } buffer;
    if (GetRegionData(region.get(), sizeof buffer, &buffer.data) == 0)
        return {};
    const RECT* rects = reinterpret_cast<const RECT*>(buffer.data.Buffer);
    return std::vector<RECT>(rects, rects + buffer.data.rdh.nCount);
}

} // namespace

// The file names are the skin's published ones, which partners' skins use too: "fackback.png"
// (the feedback button) is spelt so on purpose.
const CMainWnd::SkinEntry CMainWnd::s_skin[9] = {
    {L"min.png", &CMainWnd::m_pImgMin},           {L"close.png", &CMainWnd::m_pImgClose},
    {L"max.png", &CMainWnd::m_pImgMax},           {L"net.png", &CMainWnd::m_pImgNet},
    {L"fackback.png", &CMainWnd::m_pImgFeedback}, {L"logo.png", &CMainWnd::m_pImgLogo},
    {L"content.png", &CMainWnd::m_pImgContent},   {L"top.png", &CMainWnd::m_pImgTop},
    {L"bottombg.png", &CMainWnd::m_pImgBottom},
};

const wchar_t* CMainWnd::SkinFile(size_t i) {
    return i < std::size(s_skin) ? s_skin[i].file : kTabs[i - std::size(s_skin)].picture;
}

Gdiplus::Image*& CMainWnd::SkinSlot(size_t i) {
    return i < std::size(s_skin) ? this->*s_skin[i].field : m_pImgTab[i - std::size(s_skin)];
}

int CMainWnd::SkinFactor(const Gdiplus::Image* image) const {
    for (size_t i = 0; i < kSkinCount; ++i) {
        const Gdiplus::Image* slot =
            i < std::size(s_skin) ? this->*s_skin[i].field : m_pImgTab[i - std::size(s_skin)];
        if (image && slot == image)
            return m_bSkinDoubled[i] ? 2 : 1;
    }
    return 1;
}

BEGIN_MESSAGE_MAP(CMainWnd, CWnd)
ON_WM_CREATE()
ON_WM_SIZE()
ON_WM_TIMER()
ON_WM_DESTROY()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_NCPAINT()
ON_MESSAGE(WM_PRINTCLIENT, OnPrintClient)
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_MOUSELEAVE()
ON_WM_NCHITTEST()
ON_WM_NCLBUTTONDOWN()
ON_WM_SETCURSOR()
ON_WM_GETMINMAXINFO()
ON_MESSAGE(WM_DPICHANGED, OnDpiChanged)
ON_MESSAGE(WM_SETTINGCHANGE, OnSettingChange)
ON_WM_CLOSE()
ON_WM_SYSCOMMAND()
ON_MESSAGE(WM_TRAYNOTIFY, OnTrayNotify)
ON_COMMAND(ID_SHOW_MAIN, OnShowMain)
ON_COMMAND(ID_FEEDBACK, OnFeedback)
ON_COMMAND(ID_EXIT, OnExit)
ON_COMMAND_RANGE(ID_TAB_FIRST_COMMAND, ID_TAB_LAST_COMMAND, OnTabKey)
ON_MESSAGE(WM_GETOBJECT, OnGetObject)
ON_MESSAGE(WM_CONTROLACTION, OnControlAction)
END_MESSAGE_MAP()

CMainWnd::CMainWnd() {
    LPCWSTR cls =
        AfxRegisterWndClass(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                            reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr);
    CreateEx(0, cls, L"Tovo",
             WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX |
                 WS_MAXIMIZEBOX,
             0, 0, 0, 0, nullptr, nullptr);
}

CMainWnd::~CMainWnd() {
    // Destroyed here while the object is whole, so WM_DESTROY still releases everything.
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow();
    // Whatever way the window ended, no reader's reference may reach this object again.
    ReleaseAccessible();
    ReleaseSkin();
    delete m_pFontFamily;
    if (g_pMainWnd == this)
        g_pMainWnd = nullptr;
}

int CMainWnd::OnCreate(LPCREATESTRUCTW lpCreateStruct) {
    if (CWnd::OnCreate(lpCreateStruct) == -1)
        return -1;
    try {
        CreateParts();
    } catch (...) {
        // The creation fails (the framework answers -1). Whether WM_DESTROY follows differs
        // between systems (Wine sends none): what was made goes here, and twice does no harm.
        // A reader may already hold the object (the caption and the tray icon raise events).
        ReleaseAccessible();
        ReleaseParts();
        throw;
    }
    return 0;
}

void CMainWnd::CreateParts() {
    SetPropW(m_hWnd, kInstanceMarker, reinterpret_cast<HANDLE>(1));
    // The forced probe runs while the window is being made; its answer is read further down.
    std::future<BOOL> probe = StartConnectionCheck(TOVO_PROBE_URL);
    GetModuleDir(m_strAppDir);
    m_strSkinDir = m_strAppDir + L"skins\\Common\\";
    SetWindowText(L"Tovo页游开服");
    GetModulePath(m_strAppPath);
    m_strVersion = GetFileVersionString(ExtendedPath(m_strAppPath), L"FileVersion");

    // Set on the window, at the sizes for its DPI, by SetIconsForDpi below.
    m_hIcon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_APP));

    // The monitor the window opens on decides its scale, and the scale the skin's pictures.
    SetScale(AfxGetDpiForWindow(m_hWnd), WorkAreaAt(WindowRectOf(m_hWnd)));
    BeginLoadSkin();
    LayoutControls();
    LoadChannel();

    // A frameless window still casts a shadow.
    SetClassLongW(m_hWnd, GCL_STYLE, GetClassLongW(m_hWnd, GCL_STYLE) | CS_DROPSHADOW);

    SetIconsForDpi();
    const int cx = m_map.Pixels(m_nWidth), cy = m_map.Pixels(m_nHeight);
    POINT pos =
        CentredPosition(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), cx, cy);
    SetWindowPos(nullptr, pos.x, pos.y, cx, cy, 0);

    g_pMainWnd = this;
    EnableDebugPrivilege();
    AwaitSkin();
    // The strips are drawn while the probe's answer is on its way; the caption waits for the font.
    PrepareBackdrop();
    // Bounded: a probe site that drops packets must not keep the window from appearing.
    m_bOnline.store(AwaitConnectionCheck(probe, kStartupProbeWaitMs), std::memory_order_relaxed);
    UpdateTrayIcon(NIM_ADD);
    CreateFontFamily();
    PrepareSurface();
    // Last: nothing may fail once the report thread holds the window.
    StartReportThread();
}

void CMainWnd::GetModuleDir(std::wstring& dir) {
    dir = DirectoryOf(AfxGetModuleFileName());
}

void CMainWnd::GetModulePath(std::wstring& path) {
    path = AfxGetModuleFileName();
}

void CMainWnd::LoadSkin() {
    BeginLoadSkin();
    AwaitSkin();
}

void CMainWnd::BeginLoadSkin() {
    StartSkinWorker();
    m_nWidth = kDefaultWidth;
    m_nHeight = kDefaultHeight;
}

void CMainWnd::StartSkinWorker() {
    AwaitSkin();
    m_surface.Release();
    m_pendingSkin.reset(new PendingSkin{m_strSkinDir, WantsDoubleSkin(m_map.Scale())});
    m_hSkinThread = AfxBeginThread(SkinThreadProc, m_pendingSkin.get());
}

UINT CMainWnd::SkinThreadProc(LPVOID pParam) {
    // Under Wine the same decoding took 15 to 60 ms on the window's thread during start-up and
    // 12 to 19 ms here, where it also overlaps the rest of window creation.
    auto* pending = static_cast<PendingSkin*>(pParam);
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED); // for codecs that are COM objects
    for (size_t i = 0; i < kSkinCount; ++i)
        pending->image[i] =
            LoadSkinImage(pending->dir, SkinFile(i), pending->twice, pending->doubled[i]);
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

void CMainWnd::JoinSkinWorker() {
    if (m_hSkinThread) {
        WaitForSingleObject(m_hSkinThread, INFINITE);
        CloseHandle(m_hSkinThread);
        m_hSkinThread = nullptr;
    }
}

void CMainWnd::AwaitSkin() {
    JoinSkinWorker();
    if (!m_pendingSkin)
        return;
    // What the worker could not decode (it could not start, or ran out of memory) is loaded here.
    for (size_t i = 0; i < kSkinCount; ++i) {
        Gdiplus::Image*& image = m_pendingSkin->image[i];
        if (!image)
            image = LoadSkinImage(m_pendingSkin->dir, SkinFile(i), m_pendingSkin->twice,
                                  m_pendingSkin->doubled[i]);
        // A skin loaded again replaces the images of the last one.
        Gdiplus::Image*& slot = SkinSlot(i);
        delete slot;
        slot = image;
        image = nullptr;
        m_bSkinDoubled[i] = m_pendingSkin->doubled[i];
    }
    m_bSkinTwice = m_pendingSkin->twice;
    m_pendingSkin.reset();
    // A paint in between kept the old pictures.
    m_surface.Release();
}

void CMainWnd::ReleaseSkin() {
    JoinSkinWorker();
    m_pendingSkin.reset();
    m_surface.Release();
    for (size_t i = 0; i < kSkinCount; ++i) {
        Gdiplus::Image*& image = SkinSlot(i);
        delete image;
        image = nullptr;
        m_bSkinDoubled[i] = false;
    }
}

void CMainWnd::LayoutControls() {
    m_layout = ComputeLayout(m_nWidth, m_nHeight);
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

void CMainWnd::CreateFirstPage() {
    if (m_pWebDlg[0])
        return;
    RECT rc = {};
    GetClientRect(m_hWnd, &rc);
    PixelMap map(m_map.Scale(), rc.right, rc.bottom);
    m_rcWebArea = map.ToPixels(WebAreaFor(map.Width(), map.Height()));
    // A page that failed is already gone and must not be kept.
    m_pWebDlg[0] = CreatePage(0);
    if (m_pWebDlg[0] && m_states.curTab == kFirstTab)
        m_pWebDlg[0]->ShowWindow(SW_SHOW);
}

void CMainWnd::CreateFirstPageAfterFrame() {
    // Wine puts a window's pixels on the screen when its thread waits; a wait that ends at once
    // does it without taking any message, so nobody finds the window without its page. Elsewhere
    // the painted frame is on the screen already and the wait does nothing.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
    // Made before the window was shown, the page held the focus when it appeared; it takes it
    // now from the window, and not from another program that took the foreground meanwhile.
    bool focusPage = GetFocus() == m_hWnd;
    CreateFirstPage();
    if (focusPage && m_pWebDlg[0])
        m_pWebDlg[0]->FocusPage();
}

void CMainWnd::SetScale(unsigned dpi, const RECT& work) {
    m_nDpi = dpi;
    RECT frame = {};
    AfxAdjustWindowRectExForDpi(&frame, GetWindowLongW(m_hWnd, GWL_STYLE), FALSE,
                                GetWindowLongW(m_hWnd, GWL_EXSTYLE), dpi);
    double scale = ChooseScale(dpi, work.right - work.left, work.bottom - work.top,
                               frame.right - frame.left, frame.bottom - frame.top);
    if (scale == m_map.Scale())
        return;
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    m_map = PixelMap(scale, client.right, client.bottom);
    // The surface is rebuilt once, for the new scale, by the next paint.
    m_surface.Release();
    // Across 1, a loaded skin changes between its 1x and its @2x pictures.
    bool loaded = m_pendingSkin != nullptr;
    for (size_t i = 0; i < kSkinCount && !loaded; ++i)
        loaded = SkinSlot(i) != nullptr;
    const bool twice = m_pendingSkin ? m_pendingSkin->twice : m_bSkinTwice;
    if (loaded && WantsDoubleSkin(scale) != twice) {
        StartSkinWorker();
        AwaitSkin();
    }
}

namespace {

// The application icon at the system's size for a metric and a DPI; null when it cannot be made.
HICON LoadAppIcon(int metric, unsigned dpi) {
    const int size = AfxGetSystemMetricsForDpi(metric, dpi);
    return static_cast<HICON>(LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_APP),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

} // namespace

void CMainWnd::SetIconsForDpi() {
    // At 96 DPI the one shared icon serves everywhere, as it always has.
    const bool sized = m_nDpi != USER_DEFAULT_SCREEN_DPI;
    UniqueIcon big(sized ? LoadAppIcon(SM_CXICON, m_nDpi) : nullptr);
    UniqueIcon small(sized ? LoadAppIcon(SM_CXSMICON, m_nDpi) : nullptr);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big ? big.get() : m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small ? small.get() : m_hIcon));
    // The old ones go only once the window no longer holds them.
    m_hIconBig = std::move(big);
    m_hIconSmall = std::move(small);
    // The notification area draws at the system DPI, whatever monitor the window is on.
    const unsigned systemDpi = AfxGetSystemDpi();
    if (!m_hIconTray && systemDpi != USER_DEFAULT_SCREEN_DPI)
        m_hIconTray.reset(LoadAppIcon(SM_CXSMICON, systemDpi));
}

void CMainWnd::OnSize(UINT, int cx, int cy) {
    m_map = PixelMap(m_map.Scale(), cx, cy);
    m_nWidth = m_map.Width();
    m_nHeight = m_map.Height();
    m_rcWebArea = m_map.ToPixels(WebAreaFor(m_nWidth, m_nHeight));
    for (CWebDlg* page : m_pWebDlg) {
        if (page)
            PlacePage(page);
    }
    LayoutControls();
    // The system owns the region once it is set; the same size keeps the same region.
    if (cx != m_szRegion.cx || cy != m_szRegion.cy) {
        SetWindowRgn(m_hWnd, CreateRoundRectRgn(0, 0, cx + 1, cy + 1, 4, 4), TRUE);
        m_szRegion = SIZE{cx, cy};
    }
    Default();
}

void CMainWnd::StartReportThread() {
    if (!ShouldStartReport(m_bOnline.load(std::memory_order_relaxed), m_bReportStarted))
        return;
    m_bReportStarted = TRUE;
    UniqueHandle thread(AfxBeginThread(ReportThreadProc, this));
}

void CMainWnd::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == m_nTimerId) {
        DWORD flags = 0;
        BOOL wasOnline = m_bLastTickOnline;
        BOOL online = InternetGetConnectedState(&flags, 0);
        m_bLastTickOnline = online;
        m_bOnline.store(online, std::memory_order_relaxed);
        if (ShouldStartOnTick(wasOnline, online))
            StartReportThread();
    }
    Default();
}

// ---- tray icon, menu, closing and destruction ----

int CMainWnd::UpdateTrayIcon(DWORD dwMessage) {
    NOTIFYICONDATAW nid = {};
    nid.cbSize = sizeof nid;
    nid.hWnd = m_hWnd;
    nid.uID = IDI_APP;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYNOTIFY;
    nid.hIcon = m_hIconTray ? m_hIconTray.get() : m_hIcon;
    lstrcpynW(nid.szTip, L"Tovo开服", ARRAYSIZE(nid.szTip));
    Shell_NotifyIconW(dwMessage, &nid);
    return 0;
}

LRESULT CMainWnd::OnTrayNotify(WPARAM, LPARAM lParam) {
    switch (static_cast<UINT>(lParam)) {
    case WM_LBUTTONDBLCLK:
        ShowWindow(IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
        if (IsWindow(m_hWnd))
            SetForegroundWindow(m_hWnd);
        break;
    case WM_RBUTTONDOWN: {
        UniqueMenu menu(LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_TRAYMENU)));
        POINT pt = {};
        GetCursorPos(&pt);
        HMENU popup = GetSubMenu(menu.get(), 0);
        // Without the foreground the menu would not close on a click elsewhere.
        SetForegroundWindow(m_hWnd);
        TrackPopupMenu(popup, 0, pt.x, pt.y, 0, m_hWnd, nullptr);
        break;
    }
    default:
        break;
    }
    return 0;
}

void CMainWnd::OnShowMain() {
    if (IsWindow(m_hWnd)) {
        ShowWindow(SW_SHOWNORMAL);
        SetForegroundWindow(m_hWnd);
    }
}

void CMainWnd::OnFeedback() {
    OpenInDefaultBrowser(FeedbackPageAddress(), SW_SHOWNORMAL);
}

void CMainWnd::OnExit() {
    m_bExiting = TRUE;
    SendMessage(WM_CLOSE);
}

void CMainWnd::OnClose() {
    // Closing only hides: the client stays in the tray until Exit.
    if (!m_bExiting) {
        ShowWindow(SW_HIDE);
        return;
    }
    UpdateTrayIcon(NIM_DELETE);
    Default();
}

void CMainWnd::OnDestroy() {
    ReleaseAccessible();
    ReleaseParts();
    Default();
}

void CMainWnd::ReleaseAccessible() {
    // A screen reader may hold the object longer: from now on it gets failures, never us.
    m_bDestroyed = TRUE;
    if (m_pAccessible) {
        m_pAccessible->Detach();
        CoDisconnectObject(static_cast<IAccessible*>(m_pAccessible), 0);
        m_pAccessible->Release();
        m_pAccessible = nullptr;
    }
}

void CMainWnd::ReleaseParts() {
    UpdateTrayIcon(NIM_DELETE);
    ReleaseSkin();
    for (CWebDlg*& page : m_pWebDlg) {
        if (page)
            page->OnCancel(); // destroys the page and deletes the object
        page = nullptr;
    }
    delete m_pFontFamily;
    m_pFontFamily = nullptr;
}

void CMainWnd::OnSysCommand(UINT nID, LPARAM) {
    Default();
    // The exact id only: a maximised window fills the work area and leaves the taskbar free.
    if (nID == SC_MAXIMIZE) {
        bool renamed = !m_states.maximized; // the button now restores
        m_states.maximized = true;
        if (renamed)
            NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hWnd, OBJID_CLIENT,
                           ChildOfControl(kMaxButton));
        RECT work = {};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        MoveWindow(work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
        UpdateWindow();
    }
}

// ---- painting ----

void CMainWnd::OnPaint() {
    // Only what the system asks for is composed: a hover repaints one control, not the frame.
    // The region is read before BeginPaint validates it.
    std::vector<RECT> parts = UpdateRects(m_hWnd);
    PAINTSTRUCT ps;
    HDC hDC = BeginPaint(m_hWnd, &ps);
    if (hDC) {
        for (const RECT& rc : RectsToCompose(ps.rcPaint, parts))
            m_surface.Paint(hDC, rc, Skin(), m_map, m_layout, m_states);
    }
    EndPaint(m_hWnd, &ps);
}

LRESULT CMainWnd::OnPrintClient(WPARAM wParam, LPARAM) {
    PaintSurface(reinterpret_cast<HDC>(wParam));
    return 0;
}

BOOL CMainWnd::OnEraseBkgnd(HDC) {
    // The paint covers every pixel; erasing first would only flicker.
    return TRUE;
}

// Frameless: nothing outside the client area is drawn, not even the default frame of a popup.
void CMainWnd::OnNcPaint() {}

SurfaceSkin CMainWnd::Skin() const {
    SurfaceSkin skin;
    skin.top = m_pImgTop;
    skin.topFactor = SkinFactor(m_pImgTop);
    skin.bottom = m_pImgBottom;
    skin.bottomFactor = SkinFactor(m_pImgBottom);
    skin.logo = m_pImgLogo;
    skin.content = m_pImgContent;
    skin.control[kMinButton] = m_pImgMin;
    skin.control[kMaxButton] = m_pImgMax;
    skin.control[kCloseButton] = m_pImgClose;
    skin.control[kFeedbackButton] = m_pImgFeedback;
    for (int i = 0; i < kTabCount; ++i)
        skin.control[kFirstTab + i] = m_pImgTab[i];
    for (int id = kMinButton; id < kControlCount; ++id)
        skin.controlFactor[id] = SkinFactor(skin.control[id]);
    skin.font = m_pFontFamily;
    return skin;
}

void CMainWnd::PaintSurface(HDC hDC) {
    m_surface.Paint(hDC, RECT{0, 0, m_map.PixelWidth(), m_map.PixelHeight()}, Skin(), m_map,
                    m_layout, m_states);
}

void CMainWnd::PrepareBackdrop() {
    WindowDC dc(m_hWnd);
    if (dc.get())
        m_surface.PrepareBackdrop(dc.get(), Skin(), m_map, m_layout);
}

void CMainWnd::PrepareSurface() {
    WindowDC dc(m_hWnd);
    if (dc.get())
        m_surface.Prepare(dc.get(), Skin(), m_map, m_layout);
}

// ---- mouse ----

void CMainWnd::Apply(const MouseOutcome& out) {
    for (const RECT& rc : out.invalidate) {
        RECT px = ToRepaint(rc);
        InvalidateRect(m_hWnd, &px, FALSE);
    }
    if (out.handCursor)
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
    if (out.requestLeave) {
        TRACKMOUSEEVENT tme = {};
        tme.cbSize = sizeof tme;
        tme.dwFlags = TME_LEAVE;
        tme.hwndTrack = m_hWnd;
        _TrackMouseEvent(&tme);
    }
    switch (out.action) {
    case MouseAction::None:
        break;
    case MouseAction::Close:
        SendMessage(WM_CLOSE);
        break;
    case MouseAction::Minimise:
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        break;
    case MouseAction::Maximise:
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        break;
    case MouseAction::Restore:
        SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        InvalidateRect(m_hWnd, nullptr, FALSE);
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hWnd, OBJID_CLIENT, ChildOfControl(kMaxButton));
        break;
    case MouseAction::Feedback:
        OnFeedback();
        break;
    case MouseAction::HomePage:
        OpenInDefaultBrowser(HomePageAddress());
        break;
    case MouseAction::ShowTab:
        SelectTab(out.tab);
        break;
    case MouseAction::MoveWindow:
        SendMessage(WM_SYSCOMMAND, SC_MOVE + HTCAPTION, 0);
        break;
    }
}

template <typename Rule> void CMainWnd::RunMouseRule(Rule rule) {
    const ControlStates before = m_states;
    MouseOutcome out = rule(m_states, m_layout);
    // The rules ask for all ten controls at every hover change; a control in the same state
    // would only be drawn again in the same frame.
    out.invalidate = ChangedControls(before, m_states, m_layout);
    Apply(out);
    Default();
}

void CMainWnd::OnMouseMove(UINT, POINT pixel) {
    // The pointer over the window's own surface takes the keyboard focus from a page.
    SetFocus(m_hWnd);
    POINT point = m_map.ToDesign(pixel);
    RunMouseRule(
        [point](ControlStates& s, const ControlLayout& l) { return MouseMove(s, l, point); });
}

void CMainWnd::OnLButtonDown(UINT, POINT pixel) {
    SetFocus(m_hWnd);
    POINT point = m_map.ToDesign(pixel);
    RunMouseRule(
        [point](ControlStates& s, const ControlLayout& l) { return MouseDown(s, l, point); });
}

void CMainWnd::OnLButtonUp(UINT, POINT pixel) {
    POINT point = m_map.ToDesign(pixel);
    RunMouseRule(
        [point](ControlStates& s, const ControlLayout& l) { return MouseUp(s, l, point); });
}

void CMainWnd::OnMouseLeave() {
    RunMouseRule(MouseLeave);
}

void CMainWnd::SelectTab(int tab) {
    if (tab < 0 || tab >= kTabCount)
        return;
    int before = m_states.curTab;
    const ControlStates was = m_states;
    ::SelectTab(m_states, m_layout, tab);
    for (const RECT& rc : ChangedControls(was, m_states, m_layout)) {
        RECT px = ToRepaint(rc);
        InvalidateRect(m_hWnd, &px, FALSE);
    }
    ShowTab(tab);
    if (m_states.curTab != before) {
        // Selection only: a tab never holds the focus (the window or a page does), and a focus
        // event for something that reports no focus is dropped by readers.
        NotifyWinEvent(EVENT_OBJECT_SELECTION, m_hWnd, OBJID_CLIENT,
                       ChildOfControl(m_states.curTab));
    }
}

// The selection itself has already moved by the time the page follows it.
void CMainWnd::ShowTab(int tab) {
    for (int i = 0; i < kTabCount; ++i) {
        if (i != tab && m_pWebDlg[i])
            m_pWebDlg[i]->ShowWindow(SW_HIDE);
    }
    // A page that could not be created is tried again on the next click.
    if (!m_pWebDlg[tab])
        m_pWebDlg[tab] = CreatePage(tab);
    if (m_pWebDlg[tab])
        m_pWebDlg[tab]->ShowWindow(SW_SHOW);
}

CWebDlg* CMainWnd::CreatePage(int tab) {
    CWebDlg* page = new CWebDlg;
    if (!page->Create(IDD_WEBDLG, this))
        return nullptr; // the page has already deleted itself
    PlacePage(page);
    page->Navigate(TabPageAddress(tab));
    return page;
}

void CMainWnd::PlacePage(CWebDlg* page) {
    const RECT& rc = m_rcWebArea;
    page->MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

// ---- keys ----

HACCEL CMainWnd::GetDefaultAccelerator() {
    if (!m_bTabKeysLoaded) {
        m_bTabKeysLoaded = TRUE;
        HACCEL table = LoadAcceleratorsW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_TABKEYS));
        ACCEL keys[32] = {};
        int n = table ? CopyAcceleratorTableW(table, keys, static_cast<int>(std::size(keys))) : 0;
        // Ctrl and a number that no tab has stays the page's; every other key has its handler.
        int kept = 0;
        for (int i = 0; i < n; ++i) {
            bool tabKey = keys[i].cmd >= ID_TAB_FIRST_COMMAND && keys[i].cmd <= ID_TAB_LAST_COMMAND;
            if (!tabKey || TabForCommand(keys[i].cmd, 0) >= 0)
                keys[kept++] = keys[i];
        }
        if (kept > 0)
            m_hTabKeys.reset(CreateAcceleratorTableW(keys, kept));
    }
    return m_hTabKeys.get();
}

void CMainWnd::OnTabKey(UINT nID) {
    int tab = TabForCommand(nID, m_states.curTab - kFirstTab);
    if (tab < 0)
        return;
    SelectTab(tab);
    // The player goes on in the page with the keys at once, scrolling it, say.
    if (m_pWebDlg[tab])
        m_pWebDlg[tab]->FocusPage();
}

// ---- screen readers ----

LRESULT CMainWnd::OnGetObject(WPARAM wParam, LPARAM lParam) {
    // The client area only: the window's frame and its system parts are the system's own.
    IAccessible* object =
        static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT) ? Accessible() : nullptr;
    return object ? LresultFromObject(IID_IAccessible, wParam, object) : Default();
}

CMainWndAccessible* CMainWnd::Accessible() {
    if (!m_pAccessible && !m_bDestroyed)
        m_pAccessible = new (std::nothrow) CMainWndAccessible(this);
    return m_pAccessible;
}

LRESULT CMainWnd::OnControlAction(WPARAM wParam, LPARAM) {
    // Applied as the release of a click over the control applies it.
    Apply(ClickOutcome(m_states, static_cast<int>(wParam)));
    return 0;
}

// ---- moving and sizing ----

void CMainWnd::CalcResizeRects() {
    RECT client = {};
    GetClientRect(m_hWnd, &client);
    m_map = PixelMap(m_map.Scale(), client.right, client.bottom);
    m_bands = CalcSizingBands(m_map.Width(), m_map.Height());
}

LRESULT CMainWnd::OnNcHitTest(POINT point) {
    CalcResizeRects();
    ScreenToClient(m_hWnd, &point);
    int code = SizingHitTest(m_bands, m_map.ToDesign(point));
    return code ? code : Default();
}

void CMainWnd::OnNcLButtonDown(UINT nHitTest, POINT point) {
    WPARAM command = SizeCommandFor(static_cast<int>(nHitTest));
    if (command)
        SendMessage(WM_SYSCOMMAND, command,
                    MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y)));
    Default();
}

BOOL CMainWnd::OnSetCursor(HWND, UINT nHitTest, UINT) {
    SetCursor(LoadCursorW(nullptr, CursorFor(static_cast<int>(nHitTest))));
    return FALSE;
}

void CMainWnd::OnGetMinMaxInfo(MINMAXINFO* lpMMI) {
    lpMMI->ptMinTrackSize.x = m_map.Pixels(kDefaultWidth);
    lpMMI->ptMinTrackSize.y = m_map.Pixels(700);
    Default();
}

LRESULT CMainWnd::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    if (!suggested)
        return 0;
    const RECT target = *suggested;
    const RECT work = WorkAreaAt(target);
    SetScale(LOWORD(wParam), work);
    SetIconsForDpi();
    // Every later size is of the new scale; this one sends WM_SIZE, which lays out and moves
    // the pages. A maximised window fills the new monitor's work area.
    const RECT& rc = m_states.maximized ? work : target;
    SetWindowPos(nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(m_hWnd, nullptr, FALSE);
    return 0;
}

LRESULT CMainWnd::OnSettingChange(WPARAM wParam, LPARAM) {
    if (wParam == SPI_SETWORKAREA && IsWindow(m_hWnd)) {
        RECT window = WindowRectOf(m_hWnd);
        RECT work = WorkAreaAt(window);
        double before = m_map.Scale();
        SetScale(m_nDpi, work);
        if (m_states.maximized) {
            MoveWindow(work.left, work.top, work.right - work.left, work.bottom - work.top, TRUE);
        } else if (m_map.Scale() != before) {
            // The window no longer fits at its scale: the same design size at the new one,
            // centred where it was.
            const int cx = m_map.Pixels(m_nWidth), cy = m_map.Pixels(m_nHeight);
            MoveWindow((window.left + window.right - cx) / 2, (window.top + window.bottom - cy) / 2,
                       cx, cy, TRUE);
        }
    }
    return Default();
}
