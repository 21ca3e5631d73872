#include "web/WebDlg.h"

#include "framework/afxsensapi.h"
#include "framework/handles.h"
#include "mainwnd/Drawing.h"
#include "mainwnd/MainWnd.h"
#include "web/BrowserFeatures.h"
#include "web/DefaultBrowser.h"
#include "web/PageRules.h"
#include "web/WebCtrlInterFace.h"

#include <windowsx.h>

#include <new>

namespace {

// Dispatch ids of the browser's events (DWebBrowserEvents2).
constexpr DISPID kTitleChange = 113;
constexpr DISPID kProgressChange = 108;
constexpr DISPID kBeforeNavigate2 = 250;
constexpr DISPID kNavigateComplete2 = 252;
constexpr DISPID kDocumentComplete = 259;
constexpr DISPID kNewWindow3 = 273;

} // namespace

BOOL (*CWebDlg::s_pfnIsNetworkAlive)(LPDWORD) = &AfxIsNetworkAlive;

BEGIN_MESSAGE_MAP(CWebDlg, CDialog)
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
ON_WM_SIZE()
ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
ON_MESSAGE(WM_PAINT, OnPaint)
END_MESSAGE_MAP()

BEGIN_EVENTSINK_MAP(CWebDlg, CDialog)
ON_EVENT(CWebDlg, IDC_WEBBROWSER, kTitleChange, OnTitleChange, VTS_BSTR)
ON_EVENT(CWebDlg, IDC_WEBBROWSER, kBeforeNavigate2, OnBeforeNavigate2,
         VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
ON_EVENT(CWebDlg, IDC_WEBBROWSER, kNavigateComplete2, OnNavigateComplete2,
         VTS_DISPATCH VTS_PVARIANT)
ON_EVENT(CWebDlg, IDC_WEBBROWSER, kProgressChange, OnProgressChange, VTS_I4 VTS_I4)
ON_EVENT(CWebDlg, IDC_WEBBROWSER, kNewWindow3, OnNewWindow3,
         VTS_PDISPATCH VTS_PBOOL VTS_I4 VTS_BSTR VTS_BSTR)
ON_EVENT(CWebDlg, IDC_WEBBROWSER, kDocumentComplete, OnDocumentComplete, VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

CWebDlg::CWebDlg() {
    // Without the handler the page still works, with the browser's own defaults.
    m_pUIHandler = new (std::nothrow) CWebCtrlInterFace;
    if (m_pUIHandler)
        m_pUIHandler->AddRef();
}

CWebDlg::~CWebDlg() {
    // OnCancel releases both; a page whose window went without it must not leak them.
    if (m_pUIHandler)
        m_pUIHandler->Release();
    if (m_pBrowser)
        m_pBrowser->Release();
}

void CWebDlg::PostNcDestroy() {
    // The framework touches the object no more once its window is gone.
    delete this;
}

BOOL CWebDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    InitControlContainer();
    EnableBrowserFeatures();
    RECT rc = g_pMainWnd ? g_pMainWnd->m_rcWebArea : RECT{};
    if (!m_wndBrowser.CreateControl(CLSID_WebBrowser, L"", WS_CHILD | WS_VISIBLE, rc, this,
                                    IDC_WEBBROWSER)) {
        DestroyWindow();
        return FALSE;
    }
    InstallUIHandler();
    IUnknown* pUnknown = m_wndBrowser.GetControlUnknown();
    if (!pUnknown ||
        FAILED(pUnknown->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_pBrowser)))) {
        m_pBrowser = nullptr;
        m_wndBrowser.DestroyWindow();
        DestroyWindow();
        return FALSE;
    }
    return TRUE;
}

void CWebDlg::InstallUIHandler() {
    IUnknown* pUnknown = m_wndBrowser.GetControlUnknown();
    if (!pUnknown)
        return;
    ComPtr<IWebBrowser2> browser;
    if (FAILED(
            pUnknown->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser.put()))) ||
        !browser || !m_pUIHandler)
        return;
    ComPtr<IOleObject> object;
    if (FAILED(browser->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(object.put()))) ||
        !object)
        return;
    ComPtr<IOleClientSite> site;
    if (object->GetClientSite(site.put()) == S_OK)
        m_pUIHandler->SetDefaultClientSite(site.get());
    object->SetClientSite(m_pUIHandler);
}

BOOL CWebDlg::CheckNetwork() {
    DWORD flags = 0;
    BOOL online = s_pfnIsNetworkAlive(&flags);
    if (g_pMainWnd)
        g_pMainWnd->m_bOnline.store(online, std::memory_order_relaxed);
    return online;
}

void CWebDlg::Navigate(const std::wstring& url) {
    try {
        m_strUrl = url;
        if (CheckNetwork()) {
            if (!m_pBrowser)
                return;
            VARIANT vUrl, vFlags, vTarget, vPost, vHeaders;
            VariantInit(&vUrl);
            VariantInit(&vFlags);
            VariantInit(&vTarget);
            VariantInit(&vPost);
            VariantInit(&vHeaders);
            vUrl.vt = VT_BSTR;
            vUrl.bstrVal = SysAllocString(m_strUrl.c_str());
            vFlags.vt = VT_I4;
            vFlags.lVal = 0;
            vTarget.vt = VT_BSTR;
            vTarget.bstrVal = nullptr;
            vHeaders.vt = VT_BSTR;
            vHeaders.bstrVal = nullptr;
            // BeforeNavigate2 fires inside this call.
            m_pBrowser->Navigate2(&vUrl, &vFlags, &vTarget, &vPost, &vHeaders);
            VariantClear(&vUrl);
        } else {
            m_bNavigated = FALSE;
            // A null window would mean every window on the desktop.
            if (m_hWnd)
                InvalidateRect(m_hWnd, nullptr, TRUE);
        }
    } catch (...) {
        // Out of memory while keeping the address: the page stays as it was.
    }
}

void CWebDlg::FocusPage() {
    HWND target = m_wndBrowser.GetSafeHwnd();
    for (HWND child = target; child; child = GetWindow(child, GW_CHILD))
        target = child;
    ::SetFocus(target && IsWindowVisible(target) ? target : m_hWnd);
}

LRESULT CWebDlg::OnEraseBkgnd(WPARAM, LPARAM) {
    // The paint handler or the browser covers the whole client area.
    return TRUE;
}

void CWebDlg::OnSize(UINT, int cx, int cy) {
    if (IsWindow(m_wndBrowser.GetSafeHwnd()))
        m_wndBrowser.MoveWindow(0, 0, cx, cy, TRUE);
    Default();
}

LRESULT CWebDlg::OnLButtonDown(WPARAM, LPARAM lParam) {
    POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (PtInRect(&m_rcRetry, pt) && CheckNetwork())
        InvalidateRect(m_hWnd, nullptr, TRUE);
    return 0;
}

LRESULT CWebDlg::OnMouseMove(WPARAM, LPARAM lParam) {
    POINT pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (PtInRect(&m_rcRetry, pt))
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return Default();
}

LRESULT CWebDlg::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(m_hWnd, &ps);
    HWND hBrowser = m_wndBrowser.GetSafeHwnd();
    bool browserShown = IsWindow(hBrowser) && (GetWindowLongPtrW(hBrowser, GWL_STYLE) & WS_VISIBLE);
    if (g_pMainWnd && g_pMainWnd->m_bOnline.load(std::memory_order_relaxed)) {
        if (!browserShown) {
            if (!m_bNavigated) {
                m_bNavigated = TRUE;
                Navigate(m_strUrl);
            } else if (m_pBrowser) {
                m_pBrowser->Refresh();
            }
            if (IsWindow(hBrowser))
                ::ShowWindow(hBrowser, SW_SHOW);
        }
    } else {
        if (IsWindow(hBrowser))
            ::ShowWindow(hBrowser, SW_HIDE);
        RECT rc = {};
        GetClientRect(m_hWnd, &rc);
        Gdiplus::Graphics graphics(hdc);
        Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
        graphics.FillRectangle(&white, static_cast<Gdiplus::REAL>(rc.left),
                               static_cast<Gdiplus::REAL>(rc.top),
                               static_cast<Gdiplus::REAL>(rc.right - rc.left),
                               static_cast<Gdiplus::REAL>(rc.bottom - rc.top));
        Gdiplus::Image* picture = g_pMainWnd ? g_pMainWnd->m_pImgNet : nullptr;
        if (picture) {
            // Placed in the window's design units, drawn and clicked in pixels.
            PixelMap map(g_pMainWnd->Scale(), rc.right, rc.bottom);
            RECT rcPicture = CalcCentredImageRect(picture, RECT{0, 0, map.Width(), map.Height()},
                                                  g_pMainWnd->NetFactor());
            if (!map.Unit())
                graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
            DrawImageInRect(&graphics, picture, map.ToPixels(rcPicture));
            m_rcRetry = map.ToPixels(RetryHotArea(rcPicture));
        }
    }
    EndPaint(m_hWnd, &ps);
    return 0;
}

BOOL CWebDlg::PreTranslateMessage(MSG* pMsg) {
    switch (ClassifyPageKey(pMsg->message, pMsg->wParam)) {
    case PageKeyAction::Swallow:
        return TRUE;
    case PageKeyAction::BrowserAccelerator: {
        IUnknown* pUnknown = m_wndBrowser.GetControlUnknown();
        ComPtr<IWebBrowser2> browser;
        ComPtr<IOleInPlaceActiveObject> active;
        if (pUnknown &&
            SUCCEEDED(pUnknown->QueryInterface(IID_IWebBrowser2,
                                               reinterpret_cast<void**>(browser.put()))) &&
            browser &&
            SUCCEEDED(browser->QueryInterface(IID_IOleInPlaceActiveObject,
                                              reinterpret_cast<void**>(active.put()))) &&
            active) {
            active->TranslateAccelerator(pMsg);
            // Normal dispatch follows; the dialog's own Enter handling is skipped.
            return FALSE;
        }
        break;
    }
    case PageKeyAction::Dialog:
        break;
    }
    return CDialog::PreTranslateMessage(pMsg);
}

void CWebDlg::OnCancel() {
    if (m_pUIHandler) {
        m_pUIHandler->Release();
        m_pUIHandler = nullptr;
    }
    if (m_pBrowser) {
        m_pBrowser->Stop();
        m_pBrowser->Quit();
        m_pBrowser->Release();
        m_pBrowser = nullptr;
        CoFreeUnusedLibraries();
    }
    // Closes the control (framework/afxole.cpp) before the page goes.
    if (IsWindow(m_wndBrowser.GetSafeHwnd()))
        m_wndBrowser.DestroyWindow();
    CDialog::OnCancel();
    if (!m_hWnd) {
        delete this;
        return;
    }
    // WM_NCDESTROY deletes the object: nothing of it may be used after this call.
    DestroyWindow();
}

void CWebDlg::KeepAddress(const VARIANT* pvUrl) {
    const wchar_t* text = pvUrl && pvUrl->vt == VT_BSTR ? pvUrl->bstrVal : nullptr;
    m_strUrl = text ? text : L"";
}

// Bound in the event map as virtual handlers, so that a page kind that shows the title or the
// progress overrides them; this page shows neither.
void CWebDlg::OnTitleChange(BSTR) {}

void CWebDlg::OnProgressChange(long, long) {}

void CWebDlg::OnBeforeNavigate2(IDispatch*, VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                VARIANT_BOOL*) {
    // The navigation goes on behind a hidden browser; the offline picture covers it.
    if (!CheckNetwork() && m_hWnd)
        InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CWebDlg::OnNavigateComplete2(IDispatch*, VARIANT* pvUrl) {
    KeepAddress(pvUrl);
}

void CWebDlg::OnDocumentComplete(IDispatch*, VARIANT* pvUrl) {
    KeepAddress(pvUrl);
}

void CWebDlg::OnNewWindow3(IDispatch**, VARIANT_BOOL* pbCancel, long, BSTR, BSTR bstrUrl) {
    // The embedded browser never opens a window; only web addresses reach the default browser.
    *pbCancel = VARIANT_TRUE;
    std::wstring url = ExternalBrowserAddress(bstrUrl);
    if (!url.empty())
        OpenInDefaultBrowser(url);
}
