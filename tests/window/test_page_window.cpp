// The page window in this process: the real browser control against a loopback server, with the
// network test and the default-browser launch replaced.

#include "mainwnd/Drawing.h"
#include "mainwnd/MainWnd.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "web/DefaultBrowser.h"
#include "web/PageRules.h"
#include "web/WebDlg.h"

#include "window/gdiplus_suite.h"

#include <gtest/gtest.h>
#include <urlmon.h>

#include <cwctype>
#include <iterator>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

BOOL g_bNetwork = TRUE;
int g_nDropAfter = -1; // the network goes down after this many more tests
BOOL g_bThrow = FALSE;
int g_nThrown = 0;
BOOL FakeNetwork(LPDWORD flags) {
    if (g_bThrow && ++g_nThrown)
        throw std::bad_alloc();
    if (flags)
        *flags = 0;
    if (g_nDropAfter >= 0 && g_nDropAfter-- == 0)
        g_bNetwork = FALSE;
    return g_bNetwork;
}
std::vector<std::wstring> g_opened;
void SpyOpen(const std::wstring& url, int) {
    g_opened.push_back(url);
}

// Runs the message loop the way the application does, pre-translation included.
void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (AfxPreTranslateMessage(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

// Straight to the control, past the page.
void NavigateControl(IWebBrowser2* browser, const std::wstring& address) {
    VARIANT url;
    VariantInit(&url);
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(address.c_str());
    browser->Navigate2(&url, nullptr, nullptr, nullptr, nullptr);
    VariantClear(&url);
}

template <typename Pred> bool PumpUntil(Pred pred, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Pump(20);
    }
    return true;
}

class PageWindow : public GdiplusSuite {
protected:
    static void SetUpTestSuite() {
        OleInitialize(nullptr);
        AfxEnableControlContainer();
        GdiplusSuite::SetUpTestSuite();
    }
    static void TearDownTestSuite() {
        GdiplusSuite::TearDownTestSuite();
        OleUninitialize();
    }
    void SetUp() override {
        g_bNetwork = TRUE;
        g_nDropAfter = -1;
        g_bThrow = FALSE;
        g_nThrown = 0;
        g_opened.clear();
        CWebDlg::s_pfnIsNetworkAlive = &FakeNetwork;
        g_pfnShellOpen = &SpyOpen;
        ASSERT_TRUE(server.Start());
        main = new CMainWnd;
        ASSERT_TRUE(IsWindow(main->m_hWnd));
    }
    void TearDown() override {
        if (page)
            page->OnCancel();
        main->DestroyWindow();
        delete main;
        server.Stop();
    }
    // A page made as the main window makes its pages, over the page rectangle.
    CWebDlg* MakePage() {
        page = new CWebDlg;
        if (!page->Create(IDD_WEBDLG, main)) {
            page = nullptr;
            return nullptr;
        }
        const RECT& rc = main->m_rcWebArea;
        page->MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
        return page;
    }
    HWND Browser() const { return GetDlgItem(page->m_hWnd, IDC_WEBBROWSER); }

    LoopbackServer server;
    CMainWnd* main = nullptr;
    CWebDlg* page = nullptr;
};

} // namespace

TEST_F(PageWindow, CreatedPageHostsTheBrowserAndLoadsItsAddress) {
    ASSERT_TRUE(MakePage());
    // Switched on for the process before its first control; the pop-up, window and download
    // restrictions stay off, or they would stop what goes to the default browser.
    const INTERNETFEATURELIST on[] = {
        FEATURE_DISABLE_NAVIGATION_SOUNDS, FEATURE_ZONE_ELEVATION, FEATURE_RESTRICT_ACTIVEXINSTALL,
        FEATURE_LOCALMACHINE_LOCKDOWN,     FEATURE_MIME_SNIFFING,  FEATURE_SAFE_BINDTOOBJECT,
        FEATURE_VALIDATE_NAVIGATE_URL,     FEATURE_OBJECT_CACHING, FEATURE_UNC_SAVEDFILECHECK};
    const INTERNETFEATURELIST off[] = {FEATURE_WINDOW_RESTRICTIONS, FEATURE_WEBOC_POPUPMANAGEMENT,
                                       FEATURE_RESTRICT_FILEDOWNLOAD};
    for (INTERNETFEATURELIST f : on)
        EXPECT_EQ(S_OK, CoInternetIsFeatureEnabled(f, GET_FEATURE_FROM_PROCESS)) << f;
    for (INTERNETFEATURELIST f : off)
        EXPECT_EQ(S_FALSE, CoInternetIsFeatureEnabled(f, GET_FEATURE_FROM_PROCESS)) << f;
    LONG_PTR style = GetWindowLongPtrW(page->m_hWnd, GWL_STYLE);
    EXPECT_EQ(WS_CHILD | WS_SYSMENU, style & (WS_CHILD | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    ASSERT_TRUE(IsWindow(Browser()));
    page->Navigate(server.Url(L"/kaifu"));
    page->ShowWindow(SW_SHOW);
    EXPECT_TRUE(PumpUntil([&] { return server.GetsOf("/kaifu") >= 1; }, 10000));
    EXPECT_EQ(server.Url(L"/kaifu"), page->GetUrl());

    // The control follows the page's size exactly.
    page->MoveWindow(1, 46, 640, 480, TRUE);
    RECT rc = {};
    GetWindowRect(Browser(), &rc);
    MapWindowPoints(nullptr, page->m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(0, rc.top);
    EXPECT_EQ(640, rc.right);
    EXPECT_EQ(480, rc.bottom);
}

namespace {

// One event as the control raises it: the arguments given in their declared order go into the
// call last to first.
HRESULT Fire(CWebDlg* page, DISPID dispid, std::vector<VARIANTARG> args) {
    std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    const AFX_EVENTSINKMAP_ENTRY* entry = AfxFindEventEntry(page, IDC_WEBBROWSER, dispid);
    return entry ? AfxDispatchEvent(page, *entry, &params) : DISP_E_MEMBERNOTFOUND;
}

VARIANTARG Arg(VARTYPE vt, void* byref = nullptr) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = vt;
    v.byref = byref;
    return v;
}
VARIANTARG Bstr(BSTR s) {
    VARIANTARG v = Arg(VT_BSTR);
    v.bstrVal = s;
    return v;
}

} // namespace

TEST_F(PageWindow, EventsReachTheirHandlersOnlyWhenWellFormed) {
    ASSERT_TRUE(MakePage());
    BSTR frame = SysAllocString(L"http://127.0.0.1/frame");
    VARIANT url = Bstr(frame), nullUrl = Bstr(nullptr);
    for (DISPID completion : {252, 259}) {
        SCOPED_TRACE(completion);
        EXPECT_EQ(S_OK,
                  Fire(page, completion, {Arg(VT_DISPATCH), Arg(VT_BYREF | VT_VARIANT, &url)}));
        EXPECT_EQ(L"http://127.0.0.1/frame", page->GetUrl());
        EXPECT_EQ(S_OK,
                  Fire(page, completion, {Arg(VT_DISPATCH), Arg(VT_BYREF | VT_VARIANT, &nullUrl)}));
        EXPECT_EQ(L"", page->GetUrl());
    }

    // The address rule has its own table; here the handler's use of it.
    struct NewWindow {
        const wchar_t* url;
        const wchar_t* opened; // null: nothing launched
    } windows[] = {
        {L"file:///C:/Windows/System32/calc.exe", nullptr},
        {L"javascript:alert(1)", nullptr},
        {L" HTTPS://ok.example/", L"HTTPS://ok.example/"},
    };
    VARIANT_BOOL cancel = VARIANT_FALSE;
    for (const NewWindow& w : windows) {
        SCOPED_TRACE(testing::Message() << (w.opened ? w.opened : L"(dropped)"));
        g_opened.clear();
        cancel = VARIANT_FALSE;
        IDispatch* newDisp = nullptr;
        BSTR target = SysAllocString(w.url);
        EXPECT_EQ(S_OK,
                  Fire(page, 273,
                       {Arg(VT_BYREF | VT_DISPATCH, &newDisp), Arg(VT_BYREF | VT_BOOL, &cancel),
                        Arg(VT_I4), Bstr(nullptr), Bstr(target)}));
        SysFreeString(target);
        EXPECT_EQ(VARIANT_TRUE, cancel);
        EXPECT_EQ(w.opened ? std::vector<std::wstring>{w.opened} : std::vector<std::wstring>{},
                  g_opened);
    }

    // BeforeNavigate2 never cancels, online or not.
    for (BOOL network : {TRUE, FALSE}) {
        g_bNetwork = network;
        VARIANT empty = Arg(VT_EMPTY);
        cancel = VARIANT_FALSE;
        std::vector<VARIANTARG> args = {Arg(VT_DISPATCH)};
        for (int i = 0; i < 5; ++i)
            args.push_back(Arg(VT_BYREF | VT_VARIANT, i == 0 ? &url : &empty));
        args.push_back(Arg(VT_BYREF | VT_BOOL, &cancel));
        EXPECT_EQ(S_OK, Fire(page, 250, args));
        EXPECT_EQ(VARIANT_FALSE, cancel);
        EXPECT_EQ(network, main->m_bOnline.load());
    }

    // Malformed calls are refused before any handler reads an argument.
    struct Bad {
        DISPID dispid;
        std::vector<VARIANTARG> args;
        HRESULT expected;
    } bad[] = {
        {252, {Arg(VT_DISPATCH)}, DISP_E_BADPARAMCOUNT},
        {252, {}, DISP_E_BADPARAMCOUNT},
        {252,
         {Arg(VT_DISPATCH), Arg(VT_BYREF | VT_VARIANT, &url), Arg(VT_I4)},
         DISP_E_BADPARAMCOUNT},
        {252, {Arg(VT_DISPATCH), Bstr(frame)}, DISP_E_TYPEMISMATCH},
        {252, {Arg(VT_DISPATCH), Arg(VT_BYREF | VT_VARIANT, nullptr)}, DISP_E_TYPEMISMATCH},
        {273,
         {Arg(VT_BYREF | VT_DISPATCH, &cancel), Arg(VT_BOOL), Arg(VT_I4), Bstr(nullptr),
          Bstr(frame)},
         DISP_E_TYPEMISMATCH},
        {273,
         {Arg(VT_BYREF | VT_DISPATCH, &cancel), Arg(VT_BYREF | VT_BOOL, &cancel), Arg(VT_I4),
          Bstr(nullptr), Arg(VT_I4)},
         DISP_E_TYPEMISMATCH},
        {113, {Arg(VT_I4)}, DISP_E_TYPEMISMATCH},
    };
    g_opened.clear();
    for (Bad& b : bad) {
        SCOPED_TRACE(testing::Message() << "event " << b.dispid << " with " << b.args.size());
        EXPECT_EQ(b.expected, Fire(page, b.dispid, b.args));
    }
    DISPPARAMS noArray = {nullptr, nullptr, 2, 0};
    EXPECT_EQ(DISP_E_BADPARAMCOUNT,
              AfxDispatchEvent(page, *AfxFindEventEntry(page, IDC_WEBBROWSER, 252), &noArray));
    EXPECT_EQ(L"", page->GetUrl());
    EXPECT_TRUE(g_opened.empty());
    SysFreeString(frame);
}

TEST_F(PageWindow, OfflinePagePaintsThePictureAndRetriesOnlyWhenBack) {
    g_bNetwork = FALSE;
    main->ShowWindow(SW_SHOW);
    ASSERT_TRUE(MakePage());
    page->Navigate(server.Url(L"/libao"));
    page->ShowWindow(SW_SHOW);
    UpdateWindow(page->m_hWnd);
    Pump(200);
    EXPECT_FALSE(IsWindowVisible(Browser()));
    EXPECT_FALSE(main->m_bOnline.load());
    EXPECT_EQ(server.Url(L"/libao"), page->GetUrl());

    RECT client = {};
    GetClientRect(page->m_hWnd, &client);
    Gdiplus::Image* net = main->m_pImgNet;
    ASSERT_TRUE(net && net->GetWidth() > 185 && net->GetHeight() > 130);
    LONG left = client.right / 2 - 140, top = client.bottom / 2 - 100;
    RECT hot = page->GetRetryRect();
    EXPECT_EQ(left + 185, hot.left);
    EXPECT_EQ(top + 130, hot.top);
    EXPECT_EQ(left + static_cast<LONG>(net->GetWidth()), hot.right);
    EXPECT_EQ(top + static_cast<LONG>(net->GetHeight()), hot.bottom);

    // The real window: white around the picture, the picture's own pixels in its retry area.
    HDC dc = GetDC(page->m_hWnd);
    COLORREF corner = GetPixel(dc, 2, 2);
    POINT probe = {(hot.left + hot.right) / 2, (hot.top + hot.bottom) / 2};
    COLORREF shown = GetPixel(dc, probe.x, probe.y);
    ReleaseDC(page->m_hWnd, dc);
    Gdiplus::Color expected;
    static_cast<Gdiplus::Bitmap*>(net)->GetPixel(probe.x - left, probe.y - top, &expected);
    EXPECT_EQ(RGB(255, 255, 255), corner);
    EXPECT_EQ(RGB(expected.GetR(), expected.GetG(), expected.GetB()), shown);

    auto click = [&](LONG x, LONG y) {
        SendMessageW(page->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        Pump(300);
    };
    click(2, 2);             // outside
    click(probe.x, probe.y); // inside, still offline
    EXPECT_EQ(0u, server.GetsOf("/libao"));
    EXPECT_FALSE(IsWindowVisible(Browser()));

    g_bNetwork = TRUE;
    click(2, 2);
    EXPECT_EQ(0u, server.GetsOf("/libao"));
    click(probe.x, probe.y);
    EXPECT_TRUE(PumpUntil([&] { return server.GetsOf("/libao") == 1; }, 10000));
    EXPECT_TRUE(IsWindowVisible(Browser()));
    EXPECT_TRUE(main->m_bOnline.load());
}

TEST_F(PageWindow, NoRetryAreaWithoutAPicture) {
    g_bNetwork = FALSE;
    main->ShowWindow(SW_SHOW);
    // No picture object at all, and one that failed to load (it reads as 0 x 0).
    Gdiplus::Image missing(L"Z:\\no\\such\\net.png");
    Gdiplus::Image* pictures[] = {nullptr, &missing};
    Gdiplus::Image* own = main->m_pImgNet;
    for (Gdiplus::Image* picture : pictures) {
        main->m_pImgNet = picture;
        ASSERT_TRUE(MakePage());
        page->Navigate(server.Url(L"/kaice"));
        page->ShowWindow(SW_SHOW);
        UpdateWindow(page->m_hWnd);
        RECT hot = page->GetRetryRect();
        RECT client = {};
        GetClientRect(page->m_hWnd, &client);
        for (LONG y = 0; y < client.bottom; y += 7)
            for (LONG x = 0; x < client.right; x += 7)
                ASSERT_FALSE(PtInRect(&hot, POINT{x, y}));
        page->OnCancel();
        page = nullptr;
    }
    main->m_pImgNet = own;
}

TEST_F(PageWindow, NetworkLostWhileNavigatingHidesTheBrowser) {
    main->ShowWindow(SW_SHOW);
    ASSERT_TRUE(MakePage());
    page->ShowWindow(SW_SHOW);
    // Navigate finds the network up; the control's own BeforeNavigate2 finds it gone.
    g_nDropAfter = 1;
    page->Navigate(server.Url(L"/game"));
    EXPECT_FALSE(main->m_bOnline.load());
    Pump(200);
    EXPECT_FALSE(IsWindowVisible(Browser()));
    RECT hot = page->GetRetryRect();
    EXPECT_FALSE(IsRectEmpty(&hot));
}

TEST_F(PageWindow, AClosedControlNoLongerReachesThePage) {
    ASSERT_TRUE(MakePage());
    CWnd* host = CWnd::FromHandlePermanent(Browser());
    ASSERT_TRUE(host && host->GetControlUnknown());
    IOleObject* object = nullptr;
    ASSERT_EQ(S_OK, host->GetControlUnknown()->QueryInterface(IID_IOleObject,
                                                              reinterpret_cast<void**>(&object)));
    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)));
    page->OnCancel();
    page = nullptr;

    // The control outlives the page here: it has no client site left, and what it does next
    // (its events included) reaches no deleted object.
    IOleClientSite* site = reinterpret_cast<IOleClientSite*>(1);
    object->GetClientSite(&site);
    EXPECT_EQ(nullptr, site);
    NavigateControl(browser, server.Url(L"/late"));
    Pump(300);
    browser->Release();
    object->Release();
    Pump(50);
}

namespace {

enum class Init { Succeeds, Fails, Throws };

// A dialog that deletes itself once its window is gone, as pages do.
class SelfDeletingDialog : public CDialog {
public:
    explicit SelfDeletingDialog(Init init) : m_init(init) {}
    static int s_nDeleted;
    BOOL OnInitDialog() override {
        if (m_init == Init::Throws)
            throw std::bad_alloc();
        if (m_init == Init::Succeeds)
            return TRUE;
        DestroyWindow();
        return FALSE;
    }

protected:
    ~SelfDeletingDialog() override { ++s_nDeleted; }
    void PostNcDestroy() override { delete this; }

private:
    Init m_init;
};

int SelfDeletingDialog::s_nDeleted = 0;

} // namespace

TEST_F(PageWindow, FailedDialogCreationLeavesTheObjectDeletedOnce) {
    struct Case {
        UINT nTemplate;
        Init init;
        BOOL created;
    } cases[] = {{IDD_WEBDLG, Init::Succeeds, TRUE},
                 {IDD_WEBDLG, Init::Fails, FALSE},
                 {12345, Init::Succeeds, FALSE},
                 {IDD_WEBDLG, Init::Throws, FALSE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nTemplate << " " << static_cast<int>(c.init));
        SelfDeletingDialog::s_nDeleted = 0;
        auto* dlg = new SelfDeletingDialog(c.init);
        EXPECT_EQ(c.created, dlg->Create(c.nTemplate, main));
        EXPECT_EQ(c.created ? 0 : 1, SelfDeletingDialog::s_nDeleted);
        if (c.created) {
            dlg->DestroyWindow();
            EXPECT_EQ(1, SelfDeletingDialog::s_nDeleted);
        }
    }
}

// The control calls the page's handlers from its own frames: what they throw stops there.
TEST_F(PageWindow, HandlersThatThrowLeaveThePageWorking) {
    ASSERT_TRUE(MakePage());
    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(S_OK, CWnd::FromHandlePermanent(Browser())->GetControlUnknown()->QueryInterface(
                        IID_IWebBrowser2, reinterpret_cast<void**>(&browser)));
    g_bThrow = TRUE; // BeforeNavigate2's network test
    for (std::string path : {"/kaifu", "/kaice"}) {
        NavigateControl(browser, server.Url(std::wstring(path.begin(), path.end())));
        EXPECT_TRUE(PumpUntil([&] { return server.GetsOf(path) == 1; }, 10000)) << path;
    }
    EXPECT_EQ(2, g_nThrown);
    browser->Release();
}

TEST_F(PageWindow, NewWindowStormLaunchesOnlyWebAddressesWithoutBlocking) {
    ASSERT_TRUE(MakePage());
    // Addresses a hostile page could ask for: web ones among every other scheme, odd case and
    // blanks, control and non-ASCII characters, and lengths around the limit.
    static const wchar_t* const kSchemes[] = {
        L"http://",    L"https://", L"HTTP://", L"hTtPs://",     L"file:///", L"javascript:",
        L"mailto:",    L"ftp://",   L"about:",  L"ms-settings:", L"http:",    L"https:\\\\",
        L"\thttps://", L" http://", L"",        L"vbscript:",    L"res://",   L"\\\\host\\"};
    static const std::wstring kPrintable = L"abcxyz019./:?#&=%@!-_~";
    static const std::wstring kOdd = L" \t\r\n\x01\x7f\x85\xa0\x4e2d\xfffd";
    std::mt19937 random(20261208);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };

    size_t launches = 0;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    g_opened.clear();
    DWORD start = GetTickCount();
    for (int i = 0; i < 1000; ++i) {
        std::wstring address = kSchemes[pick(std::size(kSchemes))];
        size_t length = pick(8) == 0 ? 2030 + pick(40) : pick(60);
        // Mostly printable, so that a fair share of the web addresses stays acceptable.
        for (size_t k = 0; k < length; ++k)
            address +=
                pick(40) == 0 ? kOdd[pick(kOdd.size())] : kPrintable[pick(kPrintable.size())];
        std::wstring expected = ExternalBrowserAddress(address.c_str());
        launches += !expected.empty();

        cancel = VARIANT_FALSE;
        IDispatch* newDisp = nullptr;
        BSTR target = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
        HRESULT hr = Fire(page, 273,
                          {Arg(VT_BYREF | VT_DISPATCH, &newDisp), Arg(VT_BYREF | VT_BOOL, &cancel),
                           Arg(VT_I4), Bstr(nullptr), Bstr(target)});
        SysFreeString(target);
        ASSERT_EQ(S_OK, hr) << i;
        ASSERT_EQ(VARIANT_TRUE, cancel) << i;
        ASSERT_EQ(launches, g_opened.size()) << i;
        if (!expected.empty()) {
            ASSERT_EQ(expected, g_opened.back()) << i;
        }
    }
    DWORD elapsed = GetTickCount() - start;
    EXPECT_LT(elapsed, 10000u);
    // Some of each kind, or the storm proves nothing.
    EXPECT_GT(launches, 100u);
    EXPECT_LT(launches, 900u);
    for (const std::wstring& url : g_opened) {
        std::wstring scheme = url.substr(0, url.find(L':'));
        for (wchar_t& c : scheme)
            c = static_cast<wchar_t>(towlower(c));
        EXPECT_TRUE(scheme == L"http" || scheme == L"https") << url;
        EXPECT_LE(url.size(), 2048u);
        EXPECT_EQ(std::wstring::npos, url.find_first_of(L"\t\r\n\x01\x7f\x85"));
    }
}
