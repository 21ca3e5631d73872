#include "framework/afxole.h"

#include "framework/afxcom.h"
#include "framework/handles.h"

#include <ocidl.h>

#include <cstring>
#include <new>
#include <vector>

// ---- event sink maps ----

namespace {

VARTYPE ExpectedType(char code) {
    auto c = static_cast<unsigned char>(code);
    return (c & 0x40) ? static_cast<VARTYPE>(VT_BYREF | (c & ~0x40)) : static_cast<VARTYPE>(c);
}

} // namespace

const AFX_EVENTSINKMAP_ENTRY* AfxFindEventEntry(const CCmdTarget* pTarget, UINT nCtrlID,
                                                DISPID dispid) {
    if (!pTarget)
        return nullptr;
    for (const AFX_EVENTSINKMAP* map = pTarget->GetEventSinkMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_EVENTSINKMAP_ENTRY* e = map->lpEntries; e->nCtrlID != 0; ++e) {
            if (e->nCtrlID == nCtrlID && e->dispid == dispid)
                return e;
        }
    }
    return nullptr;
}

HRESULT AfxDispatchEvent(CCmdTarget* pTarget, const AFX_EVENTSINKMAP_ENTRY& entry,
                         const DISPPARAMS* pParams) {
    UINT nExpected = static_cast<UINT>(std::strlen(entry.pszParams));
    UINT nArgs = pParams ? pParams->cArgs : 0;
    if (nArgs != nExpected || (nArgs > 0 && !pParams->rgvarg))
        return DISP_E_BADPARAMCOUNT;
    // The caller lists the arguments last to first.
    std::vector<VARIANTARG*> args(nArgs);
    for (UINT i = 0; i < nArgs; ++i) {
        VARIANTARG* v = &pParams->rgvarg[nArgs - 1 - i];
        VARTYPE expected = ExpectedType(entry.pszParams[i]);
        bool sameType = v->vt == expected || (expected == VT_I4 && v->vt == VT_UI4);
        if (!sameType || ((v->vt & VT_BYREF) && !v->byref))
            return DISP_E_TYPEMISMATCH;
        args[i] = v;
    }
    return entry.pfn(pTarget, args.data(), nArgs);
}

// ---- control site ----

namespace {

// Forwards the control's events to its owner's sink map until it is disconnected.
class CEventSink : public CComObject<IDispatch> {
public:
    CEventSink(CCmdTarget* pTarget, UINT nCtrlID, REFIID iid)
        : m_pTarget(pTarget), m_nCtrlID(nCtrlID), m_iid(iid) {}
    void Disconnect() { m_pTarget = nullptr; }

    void* FindInterface(REFIID riid) override {
        return riid == IID_IDispatch || riid == m_iid ? static_cast<IDispatch*>(this) : nullptr;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo)
            *pctinfo = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*,
                        EXCEPINFO*, UINT*) override {
        try {
            const AFX_EVENTSINKMAP_ENTRY* entry = AfxFindEventEntry(m_pTarget, m_nCtrlID, dispid);
            return entry ? AfxDispatchEvent(m_pTarget, *entry, pParams) : S_OK;
        } catch (...) {
            AfxAbsorbException();
            return E_UNEXPECTED;
        }
    }

private:
    CCmdTarget* m_pTarget;
    UINT m_nCtrlID;
    IID m_iid;
};

// The in-place frame the control asks for: it offers no menus, tools or accelerators.
class CInPlaceFrame : public CComObject<IOleInPlaceFrame> {
public:
    explicit CInPlaceFrame(HWND hWnd) : m_hWnd(hWnd) {}

    void* FindInterface(REFIID riid) override {
        return riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
                       riid == IID_IOleInPlaceFrame
                   ? static_cast<IOleInPlaceFrame*>(this)
                   : nullptr;
    }
    STDMETHODIMP GetWindow(HWND* phwnd) override {
        if (!phwnd)
            return E_POINTER;
        *phwnd = m_hWnd;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
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

private:
    HWND m_hWnd;
};

// Client site and in-place site of one control. The host window's object holds one reference;
// the control holds its own while it keeps the site.
class CControlSite : public COleControlSite, public CComObject<IOleClientSite, IOleInPlaceSite> {
public:
    explicit CControlSite(HWND hWnd) : m_hWnd(hWnd) {}

    ComPtr<IOleObject> m_pObject;
    ComPtr<IConnectionPoint> m_pConnection;
    CEventSink* m_pSink = nullptr;
    DWORD m_dwCookie = 0;

    void SetExtent(const RECT& rc) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (m_pObject && SUCCEEDED(m_pObject->QueryInterface(
                             IID_IOleInPlaceObject, reinterpret_cast<void**>(inPlace.put()))))
            inPlace->SetObjectRects(&rc, &rc);
    }

    void* FindInterface(REFIID riid) override {
        if (riid == IID_IOleClientSite)
            return static_cast<IOleClientSite*>(this);
        if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
            return static_cast<IOleInPlaceSite*>(this);
        return nullptr;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** ppmk) override {
        if (ppmk)
            *ppmk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override {
        if (ppContainer)
            *ppContainer = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override {
        if (!phwnd)
            return E_POINTER;
        *phwnd = m_hWnd;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                  LPRECT lprcPosRect, LPRECT lprcClipRect,
                                  LPOLEINPLACEFRAMEINFO lpFrameInfo) override {
        if (!ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect || !lpFrameInfo)
            return E_POINTER;
        *ppDoc = nullptr;
        *ppFrame = new (std::nothrow) CInPlaceFrame(m_hWnd);
        if (!*ppFrame)
            return E_OUTOFMEMORY;
        GetClientRect(m_hWnd, lprcPosRect);
        *lprcClipRect = *lprcPosRect;
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = m_hWnd;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override {
        if (lprcPosRect)
            SetExtent(*lprcPosRect);
        return S_OK;
    }

private:
    HWND m_hWnd;
};

// The control's default event interface, as its class information names it.
bool DefaultSourceIid(IOleObject* pObject, IID* pIid) {
    ComPtr<IProvideClassInfo2> info;
    if (FAILED(
            pObject->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(info.put()))))
        return false;
    return SUCCEEDED(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, pIid));
}

} // namespace

BOOL COleControlSite::Create(CWnd* pHost, REFCLSID clsid, LPCWSTR pszWindowName, DWORD dwStyle,
                             const RECT& rect, CWnd* pParentWnd, UINT nID) {
    if (pHost->m_hWnd || pHost->m_pCtrlSite || !pParentWnd)
        return FALSE;
    LPCWSTR cls = AfxRegisterWndClass(0, LoadCursorW(nullptr, IDC_ARROW));
    if (!pHost->CreateEx(0, cls, pszWindowName ? pszWindowName : L"", dwStyle | WS_CLIPCHILDREN,
                         rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                         pParentWnd->GetSafeHwnd(),
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID))))
        return FALSE;

    ComPtr<IOleObject> object;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(object.put())))) {
        pHost->DestroyWindow();
        return FALSE;
    }
    auto* site = new CControlSite(pHost->m_hWnd);
    site->m_pObject = object;
    pHost->m_pCtrlSite = site;
    object->SetClientSite(site);

    IID source = {};
    if (DefaultSourceIid(object.get(), &source)) {
        ComPtr<IConnectionPointContainer> container;
        if (SUCCEEDED(object->QueryInterface(IID_IConnectionPointContainer,
                                             reinterpret_cast<void**>(container.put()))) &&
            SUCCEEDED(container->FindConnectionPoint(source, site->m_pConnection.put()))) {
            site->m_pSink = new CEventSink(pParentWnd, nID, source);
            if (FAILED(site->m_pConnection->Advise(site->m_pSink, &site->m_dwCookie)))
                site->m_dwCookie = 0;
        }
    }

    RECT rc = {};
    GetClientRect(pHost->m_hWnd, &rc);
    if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, pHost->m_hWnd, &rc))) {
        pHost->DestroyWindow();
        return FALSE;
    }
    site->SetExtent(rc);
    return TRUE;
}

void COleControlSite::DestroyControl(CWnd* pHost) {
    auto* site = static_cast<CControlSite*>(pHost->m_pCtrlSite);
    if (!site)
        return;
    pHost->m_pCtrlSite = nullptr;
    // Teardown order: the control keeps references to its client site (ours, or whatever site
    // it was given later) and to the event sink until it is closed, its client site is cleared
    // and the sink is unadvised. So: close it, take its site away, unadvise, and only then cut
    // the sink off from its owner and drop our own references. Both objects thereby outlive the
    // control's last call, and no event reaches an owner that is about to go.
    if (site->m_pObject) {
        site->m_pObject->Close(OLECLOSE_NOSAVE);
        site->m_pObject->SetClientSite(nullptr);
    }
    if (site->m_pConnection && site->m_dwCookie)
        site->m_pConnection->Unadvise(site->m_dwCookie);
    site->m_pConnection.reset();
    if (site->m_pSink) {
        site->m_pSink->Disconnect();
        site->m_pSink->Release();
        site->m_pSink = nullptr;
    }
    site->m_pObject.reset();
    site->Release();
}

void COleControlSite::OnHostMessage(CWnd* pHost, UINT message, WPARAM, LPARAM lParam) {
    auto* site = static_cast<CControlSite*>(pHost->m_pCtrlSite);
    if (message == WM_SIZE) {
        RECT rc = {0, 0, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        site->SetExtent(rc);
    } else if (message == WM_DESTROY) {
        DestroyControl(pHost);
    }
}

IUnknown* COleControlSite::ControlUnknown(const CWnd* pHost) {
    auto* site = static_cast<CControlSite*>(pHost->m_pCtrlSite);
    return site ? site->m_pObject.get() : nullptr;
}

BOOL CWnd::InitControlContainer(BOOL) {
    // The container is the window itself: each control gets a site of its own at creation.
    return AfxOleControlContainerEnabled();
}

BOOL CWnd::CreateControl(REFCLSID clsid, LPCWSTR pszWindowName, DWORD dwStyle, const RECT& rect,
                         CWnd* pParentWnd, UINT nID, void*, BOOL, BSTR) {
    return COleControlSite::Create(this, clsid, pszWindowName, dwStyle, rect, pParentWnd, nID);
}

IUnknown* CWnd::GetControlUnknown() {
    return COleControlSite::ControlUnknown(this);
}
