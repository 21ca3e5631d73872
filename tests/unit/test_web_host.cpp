// The document host handler object, and the page's new-window address rule.

#include "web/PageRules.h"
#include "web/WebCtrlInterFace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A control's previous client site that is also its own document host handler. Every call is
// counted; each handler method answers with a distinct result.
class FakeSite : public IOleClientSite, public IDocHostUIHandler {
public:
    LONG refs = 1;
    int calls = 0;
    bool withHandler = true;
    HRESULT dropTargetResult = S_FALSE;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IDocHostUIHandler && withHandler)
            *ppv = static_cast<IDocHostUIHandler*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP SaveObject() override { return Call(0x101); }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return Call(0x102); }
    STDMETHODIMP GetContainer(IOleContainer**) override { return Call(0x103); }
    STDMETHODIMP ShowObject() override { return Call(0x104); }
    STDMETHODIMP OnShowWindow(BOOL) override { return Call(0x105); }
    STDMETHODIMP RequestNewObjectLayout() override { return Call(0x106); }
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return Call(0x201);
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO*) override { return Call(0x202); }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return Call(0x203);
    }
    STDMETHODIMP HideUI() override { return Call(0x204); }
    STDMETHODIMP UpdateUI() override { return Call(0x205); }
    STDMETHODIMP EnableModeless(BOOL) override { return Call(0x206); }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return Call(0x207); }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return Call(0x208); }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return Call(0x209); }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return Call(0x20A); }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return Call(0x20B); }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override {
        ++calls;
        return dropTargetResult;
    }
    STDMETHODIMP GetExternal(IDispatch**) override { return Call(0x20D); }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return Call(0x20E); }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject**) override { return Call(0x20F); }

private:
    HRESULT Call(HRESULT code) {
        ++calls;
        return code;
    }
};

// Each method called once with harmless arguments; the results in table order.
struct Method {
    const char* name;
    HRESULT withoutDefault; // the fixed result when nothing is there to pass the call on to
    HRESULT passedOn;       // what FakeSite answers (0 when the call is never passed on)
    HRESULT (*call)(CWebCtrlInterFace*, void** out);
};

void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

// An out slot that cannot be written: any write faults.
void** ReadOnlySlot() {
    static void** slot = [] {
        auto** p = static_cast<void**>(
            VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        *p = kUntouched;
        DWORD old = 0;
        VirtualProtect(p, 4096, PAGE_READONLY, &old);
        return p;
    }();
    return slot;
}

#define METHOD(name, withoutDefault, passedOn, expr)                                               \
    {                                                                                              \
        name, withoutDefault, passedOn,                                                            \
            [](CWebCtrlInterFace* p, [[maybe_unused]] void** o) -> HRESULT { return p->expr; }     \
    }
#define OUT_AS(T) reinterpret_cast<T**>(o)

POINT g_pt;
MSG g_msg;
wchar_t g_url[] = L"http://x/";

const Method kMethods[] = {
    METHOD("SaveObject", E_FAIL, 0x101, SaveObject()),
    METHOD("GetMoniker", E_NOTIMPL, 0x102, GetMoniker(0, 0, OUT_AS(IMoniker))),
    METHOD("GetContainer", E_NOINTERFACE, 0x103, GetContainer(OUT_AS(IOleContainer))),
    METHOD("ShowObject", S_OK, 0x104, ShowObject()),
    METHOD("OnShowWindow", S_OK, 0x105, OnShowWindow(TRUE)),
    METHOD("RequestNewObjectLayout", E_NOTIMPL, 0x106, RequestNewObjectLayout()),
    METHOD("ShowContextMenu", S_OK, 0, ShowContextMenu(0, &g_pt, nullptr, nullptr)),
    METHOD("ShowUI", S_FALSE, 0x203, ShowUI(0, nullptr, nullptr, nullptr, nullptr)),
    METHOD("HideUI", E_NOTIMPL, 0x204, HideUI()),
    METHOD("UpdateUI", E_NOTIMPL, 0x205, UpdateUI()),
    METHOD("EnableModeless", E_NOTIMPL, 0x206, EnableModeless(TRUE)),
    METHOD("OnDocWindowActivate", E_NOTIMPL, 0x207, OnDocWindowActivate(TRUE)),
    METHOD("OnFrameWindowActivate", E_NOTIMPL, 0x208, OnFrameWindowActivate(TRUE)),
    METHOD("ResizeBorder", E_NOTIMPL, 0x209, ResizeBorder(nullptr, nullptr, FALSE)),
    METHOD("TranslateAccelerator", E_NOTIMPL, 0x20A, TranslateAccelerator(&g_msg, nullptr, 0)),
    METHOD("GetOptionKeyPath", E_NOTIMPL, 0x20B, GetOptionKeyPath(OUT_AS(OLECHAR), 0)),
    // The default handler's S_FALSE becomes E_FAIL.
    METHOD("GetDropTarget", E_NOTIMPL, E_FAIL, GetDropTarget(nullptr, OUT_AS(IDropTarget))),
    METHOD("GetExternal", E_NOTIMPL, 0x20D, GetExternal(OUT_AS(IDispatch))),
    METHOD("TranslateUrl", S_FALSE, 0x20E, TranslateUrl(0, g_url, OUT_AS(OLECHAR))),
    METHOD("FilterDataObject", S_FALSE, 0x20F, FilterDataObject(nullptr, OUT_AS(IDataObject))),
};

CWebCtrlInterFace* NewHandler() {
    auto* p = new CWebCtrlInterFace;
    p->AddRef();
    return p;
}

} // namespace

TEST(DocHostHandler, OneIdentityOneCountAndRefusals) {
    CWebCtrlInterFace* p = NewHandler();
    IOleClientSite* site = p;
    IDocHostUIHandler* handler = nullptr;
    ASSERT_EQ(S_OK,
              site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(&handler)));
    EXPECT_EQ(static_cast<IDocHostUIHandler*>(p), handler);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(site), unknown);
    IOleCommandTarget* target = nullptr;
    ASSERT_EQ(S_OK, site->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&target)));
    EXPECT_EQ(static_cast<IOleCommandTarget*>(p), target);
    IUnknown* unknown2 = nullptr;
    ASSERT_EQ(S_OK, target->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown2)));
    EXPECT_EQ(unknown, unknown2);
    unknown2->Release();
    target->Release();
    // Every interface shares the one count: 1 + 2 references taken above, + 1 now.
    EXPECT_EQ(4u, handler->AddRef());
    EXPECT_EQ(3u, site->Release());

    void* out = kUntouched;
    EXPECT_EQ(E_NOINTERFACE, site->QueryInterface(IID_IOleWindow, &out));
    EXPECT_EQ(nullptr, out);
    // An unwritable out pointer: refused, nothing written, no reference taken.
    EXPECT_EQ(E_INVALIDARG, site->QueryInterface(IID_IUnknown, ReadOnlySlot()));
    EXPECT_EQ(E_INVALIDARG, handler->QueryInterface(IID_IDocHostUIHandler, nullptr));
    EXPECT_EQ(kUntouched, *ReadOnlySlot());
    EXPECT_EQ(4u, site->AddRef());
    site->Release();

    unknown->Release();
    handler->Release();
    EXPECT_EQ(0u, site->Release());
}

TEST(DocHostHandler, FixedResultsWithoutDefaults) {
    for (bool siteWithoutHandler : {false, true}) {
        FakeSite fake;
        fake.withHandler = false;
        CWebCtrlInterFace* p = NewHandler();
        if (siteWithoutHandler)
            p->SetDefaultClientSite(&fake);
        for (const Method& m : kMethods) {
            // A site without a handler still takes the client-site calls.
            if (siteWithoutHandler && (m.passedOn & 0xF00) == 0x100)
                continue;
            SCOPED_TRACE(testing::Message() << m.name << " site " << siteWithoutHandler);
            void* out = kUntouched;
            EXPECT_EQ(m.withoutDefault, m.call(p, &out));
            EXPECT_TRUE(out == kUntouched || out == nullptr);
            // An unwritable out pointer is left alone, with the same result.
            EXPECT_EQ(m.withoutDefault, m.call(p, ReadOnlySlot()));
        }
        EXPECT_EQ(kUntouched, *ReadOnlySlot());
        DOCHOSTUIINFO info = {};
        info.pchHostCss = const_cast<OLECHAR*>(L"css");
        EXPECT_EQ(S_OK, p->GetHostInfo(&info));
        EXPECT_EQ(20u, info.cbSize);
        EXPECT_EQ(0x4000000Cu, info.dwFlags);
        EXPECT_EQ(0u, info.dwDoubleClick);
        EXPECT_STREQ(L"css", info.pchHostCss);
        p->Release();
        EXPECT_EQ(1, fake.refs);
        EXPECT_EQ(0, fake.calls);
    }
}

TEST(DocHostHandler, PassesCallsOnAndReleasesTheDefaultsOnce) {
    FakeSite fake;
    CWebCtrlInterFace* p = NewHandler();
    p->SetDefaultClientSite(&fake);
    EXPECT_EQ(3, fake.refs); // the site and its handler
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        int before = fake.calls;
        void* out = nullptr;
        HRESULT hr = m.call(p, &out);
        if (m.passedOn == 0) {
            EXPECT_EQ(m.withoutDefault, hr);
            EXPECT_EQ(before, fake.calls);
        } else {
            EXPECT_EQ(m.passedOn, hr);
            EXPECT_EQ(before + 1, fake.calls);
        }
    }
    // Only S_FALSE is mapped; any other drop-target answer comes back unchanged.
    fake.dropTargetResult = E_OUTOFMEMORY;
    IDropTarget* target = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY, p->GetDropTarget(nullptr, &target));
    DOCHOSTUIINFO info = {};
    EXPECT_EQ(0x202, p->GetHostInfo(&info));
    EXPECT_EQ(0u, info.cbSize);

    p->AddRef(); // as the control holds it
    p->Release();
    EXPECT_EQ(3, fake.refs);
    p->Release();
    EXPECT_EQ(1, fake.refs);
}

// Scripts go on after an error and nothing is shown; every other command is the control's.
TEST(DocHostHandler, AnswersOnlyTheScriptErrorCommand) {
    GUID docHost = {0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};
    GUID nearMiss = docHost;
    nearMiss.Data4[7] ^= 1;
    const struct {
        const GUID* group;
        DWORD id;
        HRESULT exec;
        DWORD cmdf; // 7: left alone, the whole group is unknown
    } cases[] = {{&docHost, OLECMDID_SHOWSCRIPTERROR, S_OK, OLECMDF_SUPPORTED | OLECMDF_ENABLED},
                 {&docHost, OLECMDID_SHOWMESSAGE, OLECMDERR_E_NOTSUPPORTED, 0},
                 {nullptr, OLECMDID_SHOWSCRIPTERROR, OLECMDERR_E_NOTSUPPORTED, 0},
                 {&nearMiss, OLECMDID_SHOWSCRIPTERROR, OLECMDERR_E_UNKNOWNGROUP, 7}};
    CWebCtrlInterFace* p = NewHandler();
    for (const auto& c : cases) {
        VARIANT out = {}; // VT_EMPTY
        EXPECT_EQ(c.exec, p->Exec(c.group, c.id, 0, nullptr, &out)) << c.id;
        EXPECT_TRUE(c.exec ? out.vt == VT_EMPTY : out.vt == VT_BOOL && out.boolVal == VARIANT_TRUE);
        EXPECT_EQ(c.exec, p->Exec(c.group, c.id, 0, nullptr, nullptr));
        OLECMD cmd = {c.id, 7};
        EXPECT_EQ(c.cmdf == 7 ? c.exec : S_OK, p->QueryStatus(c.group, 1, &cmd, nullptr));
        EXPECT_EQ(c.cmdf, cmd.cmdf);
    }
    EXPECT_EQ(0u, p->Release());
}

TEST(NewWindowPolicy, OnlyWebAddressesReachTheDefaultBrowser) {
    std::wstring longUrl = L"http://ok.example/" + std::wstring(4096, L'a');
    std::wstring limitUrl = L"http://ok.example/" + std::wstring(2048 - 18, L'a');
    struct Case {
        std::wstring in;
        std::wstring out; // empty: dropped
    } cases[] = {
        {L"http://ok.example/a?b=c", L"http://ok.example/a?b=c"},
        {L"https://ok.example/", L"https://ok.example/"},
        {L" HTTPS://ok.example/ ", L"HTTPS://ok.example/"},
        {L"\tHtTp://ok.example/\r\n", L"HtTp://ok.example/"},
        {limitUrl, limitUrl},
        {longUrl, L""},
        {L"file:///C:/Windows/System32/calc.exe", L""},
        {L"\\\\192.0.2.1\\s\\x.exe", L""},
        {L"C:\\Windows\\System32\\calc.exe", L""},
        {L"calc.exe", L""},
        {L"ms-msdt:x", L""},
        {L"javascript:alert(1)", L""},
        {L"httpx://ok.example/", L""},
        {L"http:\\\\192.0.2.1\\s\\x.exe", L""},
        {L"http://", L""},
        {L"http://ok.example/\x01x", L""},
        {L"http://ok.example/\nx", L""},
        {L"", L""},
        {L"   ", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "case of length " << c.in.size() << ": " << c.in.substr(0, 40).c_str());
        EXPECT_EQ(c.out, ExternalBrowserAddress(c.in.c_str()));
    }
    EXPECT_EQ(L"", ExternalBrowserAddress(nullptr));
}

TEST(PageKeys, EscapeAndCtrlSwallowedEnterToTheBrowserTheRestToTheDialog) {
    struct Case {
        UINT message;
        WPARAM key;
        PageKeyAction action;
    } cases[] = {
        {WM_KEYDOWN, VK_ESCAPE, PageKeyAction::Swallow},
        {WM_KEYDOWN, VK_CONTROL, PageKeyAction::Swallow},
        {WM_KEYDOWN, VK_RETURN, PageKeyAction::BrowserAccelerator},
        {WM_KEYDOWN, VK_TAB, PageKeyAction::Dialog},
        {WM_KEYDOWN, VK_LCONTROL, PageKeyAction::Dialog},
        {WM_KEYUP, VK_ESCAPE, PageKeyAction::Dialog},
        {WM_SYSKEYDOWN, VK_RETURN, PageKeyAction::Dialog},
        {WM_CHAR, VK_ESCAPE, PageKeyAction::Dialog},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message " << c.message << " key " << c.key);
        EXPECT_EQ(c.action, ClassifyPageKey(c.message, c.key));
    }
}
