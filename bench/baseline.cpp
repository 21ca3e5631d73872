// The yardstick for the client: a minimal window program built with the same toolchain, flags
// and manifest. A 1004 x 695 popup with the client's instance property that paints once (one
// flat colour, through a memory bitmap as the client does), answers messages and ends on
// WM_CLOSE or the client's Exit command.
//
// Built with TOVO_BASELINE_PAGE it is also what any program with an embedded page pays: before
// the window is shown it initialises OLE, hosts the web browser control over the client's page
// area and navigates it to the address on its command line.

#include <windows.h>

#ifdef TOVO_BASELINE_PAGE
#include <exdisp.h>
#include <ole2.h>
#endif

namespace {

constexpr COLORREF kColour = RGB(0x1F, 0x6F, 0xB4);
constexpr WPARAM kExitCommand = 40006;

void Paint(HWND hWnd, HDC dc) {
    RECT rc;
    GetClientRect(hWnd, &rc);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
    HGDIOBJ old = SelectObject(mem, bitmap);
    HBRUSH brush = CreateSolidBrush(kColour);
    FillRect(mem, &rc, brush);
    DeleteObject(brush);
    BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
}

#ifdef TOVO_BASELINE_PAGE
// The least a container offers for in-place activation: client site, in-place site and frame in
// one object that lives as long as the program.
class PageSite : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    HWND window = nullptr;
    RECT area = {1, 46, 1003, 665}; // the client's page area at 1004 x 695

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** pp) override {
        *pp = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleWindow, for the site and the frame
    STDMETHODIMP GetWindow(HWND* phwnd) override {
        *phwnd = window;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        *frame = this;
        *doc = nullptr;
        *pos = *clip = area;
        info->fMDIApp = FALSE;
        info->hwndFrame = window;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    // IOleInPlaceUIWindow and IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

PageSite g_site;
IOleObject* g_page = nullptr;

// The control in place over the page area, navigating to url.
void OpenPage(HWND hWnd, LPCWSTR url) {
    g_site.window = hWnd;
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&g_page))))
        return;
    g_page->SetClientSite(&g_site);
    g_page->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &g_site, 0, hWnd, &g_site.area);
    IWebBrowser2* browser = nullptr;
    if (SUCCEEDED(g_page->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)))) {
        VARIANT address;
        VariantInit(&address);
        address.vt = VT_BSTR;
        address.bstrVal = SysAllocString(url);
        browser->Navigate2(&address, nullptr, nullptr, nullptr, nullptr);
        VariantClear(&address);
        browser->Release();
    }
}

void ClosePage() {
    if (!g_page)
        return;
    g_page->Close(OLECLOSE_NOSAVE);
    g_page->SetClientSite(nullptr);
    g_page->Release();
    g_page = nullptr;
}
#endif

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hWnd, &ps);
        Paint(hWnd, dc);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(hWnd, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == kExitCommand)
            DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
#ifdef TOVO_BASELINE_PAGE
        ClosePage();
#endif
        RemovePropW(hWnd, L"开服盒子");
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hWnd, msg, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int show) {
#ifdef TOVO_BASELINE_PAGE
    OleInitialize(nullptr);
#else
    (void)cmdLine;
#endif
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"TovoBaseline";
    RegisterClassExW(&wc);
    int x = (GetSystemMetrics(SM_CXSCREEN) - 1004) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - 695) / 2;
    HWND hWnd = CreateWindowExW(0, wc.lpszClassName, L"Baseline", WS_POPUP | WS_SYSMENU, x, y, 1004,
                                695, nullptr, nullptr, instance, nullptr);
    if (!hWnd)
        return 1;
    SetPropW(hWnd, L"开服盒子", reinterpret_cast<HANDLE>(1));
#ifdef TOVO_BASELINE_PAGE
    OpenPage(hWnd, cmdLine);
#endif
    ShowWindow(hWnd, show == SW_HIDE ? SW_SHOW : show);
    UpdateWindow(hWnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
#ifdef TOVO_BASELINE_PAGE
    OleUninitialize();
#endif
    return static_cast<int>(msg.wParam);
}
