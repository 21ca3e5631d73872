#include "web/WebCtrlInterFace.h"

namespace {

// Out values are written only where the caller gave room for a pointer.
template <typename T> void ClearOut(T** pp) {
    if (!IsBadWritePtr(pp, sizeof(*pp)))
        *pp = nullptr;
}

// The document host's command group. Headers declare it, but not every SDK's libraries define it.
const GUID kCmdGroupDocHost = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

// The null group is the standard one: known, but none of its commands is answered here.
bool IsKnownGroup(const GUID* pguidCmdGroup) {
    return !pguidCmdGroup || IsEqualGUID(*pguidCmdGroup, kCmdGroupDocHost);
}
// Of a known group, the one command answered here.
bool IsScriptErrorCommand(const GUID* pguidCmdGroup, DWORD nCmdID) {
    return pguidCmdGroup && nCmdID == OLECMDID_SHOWSCRIPTERROR;
}

} // namespace

CWebCtrlInterFace::~CWebCtrlInterFace() {
    SetDefaultClientSite(nullptr);
}

void CWebCtrlInterFace::SetDefaultClientSite(IOleClientSite* pSite) {
    if (m_pDefaultHandler) {
        m_pDefaultHandler->Release();
        m_pDefaultHandler = nullptr;
    }
    if (m_pDefaultSite) {
        m_pDefaultSite->Release();
        m_pDefaultSite = nullptr;
    }
    if (!pSite)
        return;
    pSite->AddRef();
    m_pDefaultSite = pSite;
    if (FAILED(pSite->QueryInterface(IID_IDocHostUIHandler,
                                     reinterpret_cast<void**>(&m_pDefaultHandler))))
        m_pDefaultHandler = nullptr;
}

void* CWebCtrlInterFace::FindInterface(REFIID riid) {
    if (riid == IID_IOleClientSite)
        return static_cast<IOleClientSite*>(this);
    if (riid == IID_IDocHostUIHandler)
        return static_cast<IDocHostUIHandler*>(this);
    if (riid == IID_IOleCommandTarget)
        return static_cast<IOleCommandTarget*>(this);
    return nullptr;
}

// ---- IOleClientSite ----

STDMETHODIMP CWebCtrlInterFace::SaveObject() {
    return m_pDefaultSite ? m_pDefaultSite->SaveObject() : E_FAIL;
}

STDMETHODIMP CWebCtrlInterFace::GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) {
    if (m_pDefaultSite)
        return m_pDefaultSite->GetMoniker(dwAssign, dwWhichMoniker, ppmk);
    ClearOut(ppmk);
    return E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::GetContainer(IOleContainer** ppContainer) {
    if (m_pDefaultSite)
        return m_pDefaultSite->GetContainer(ppContainer);
    ClearOut(ppContainer);
    return E_NOINTERFACE;
}

STDMETHODIMP CWebCtrlInterFace::ShowObject() {
    return m_pDefaultSite ? m_pDefaultSite->ShowObject() : S_OK;
}

STDMETHODIMP CWebCtrlInterFace::OnShowWindow(BOOL fShow) {
    return m_pDefaultSite ? m_pDefaultSite->OnShowWindow(fShow) : S_OK;
}

STDMETHODIMP CWebCtrlInterFace::RequestNewObjectLayout() {
    return m_pDefaultSite ? m_pDefaultSite->RequestNewObjectLayout() : E_NOTIMPL;
}

// ---- IDocHostUIHandler ----

STDMETHODIMP CWebCtrlInterFace::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) {
    // Handled by showing nothing: pages have no context menu.
    return S_OK;
}

STDMETHODIMP CWebCtrlInterFace::GetHostInfo(DOCHOSTUIINFO* pInfo) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->GetHostInfo(pInfo);
    if (IsBadWritePtr(pInfo, 3 * sizeof(DWORD)))
        return S_OK;
    // The size of the record's first five fields (size, flags, double-click, host style sheet and
    // namespace) as 32-bit Windows lays them out: what the control's first versions knew.
    pInfo->cbSize = 20;
    // The window draws at the monitor's scale: the engine zooms the pages to it as well.
    pInfo->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DPI_AWARE;
    if (m_bNoScrollBars)
        pInfo->dwFlags |= DOCHOSTUIFLAG_SCROLL_NO;
    pInfo->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

STDMETHODIMP CWebCtrlInterFace::ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                                       IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame,
                                       IOleInPlaceUIWindow* pDoc) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->ShowUI(dwID, pActiveObject, pCommandTarget, pFrame, pDoc);
    return S_FALSE;
}

STDMETHODIMP CWebCtrlInterFace::HideUI() {
    return m_pDefaultHandler ? m_pDefaultHandler->HideUI() : E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::UpdateUI() {
    return m_pDefaultHandler ? m_pDefaultHandler->UpdateUI() : E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::EnableModeless(BOOL fEnable) {
    return m_pDefaultHandler ? m_pDefaultHandler->EnableModeless(fEnable) : E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::OnDocWindowActivate(BOOL fActivate) {
    return m_pDefaultHandler ? m_pDefaultHandler->OnDocWindowActivate(fActivate) : E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::OnFrameWindowActivate(BOOL fActivate) {
    return m_pDefaultHandler ? m_pDefaultHandler->OnFrameWindowActivate(fActivate) : E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                                             BOOL fRameWindow) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->ResizeBorder(prcBorder, pUIWindow, fRameWindow);
    return E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup,
                                                     DWORD nCmdID) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->TranslateAccelerator(lpMsg, pguidCmdGroup, nCmdID);
    return E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->GetOptionKeyPath(pchKey, dw);
    ClearOut(pchKey);
    return E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::GetDropTarget(IDropTarget* pDropTarget,
                                              IDropTarget** ppDropTarget) {
    if (m_pDefaultHandler) {
        HRESULT hr = m_pDefaultHandler->GetDropTarget(pDropTarget, ppDropTarget);
        return hr == S_FALSE ? E_FAIL : hr;
    }
    ClearOut(ppDropTarget);
    return E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::GetExternal(IDispatch** ppDispatch) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->GetExternal(ppDispatch);
    ClearOut(ppDispatch);
    return E_NOTIMPL;
}

STDMETHODIMP CWebCtrlInterFace::TranslateUrl(DWORD dwTranslate, LPWSTR pchURLIn,
                                             LPWSTR* ppchURLOut) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->TranslateUrl(dwTranslate, pchURLIn, ppchURLOut);
    ClearOut(ppchURLOut);
    return S_FALSE;
}

STDMETHODIMP CWebCtrlInterFace::FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) {
    if (m_pDefaultHandler)
        return m_pDefaultHandler->FilterDataObject(pDO, ppDORet);
    ClearOut(ppDORet);
    return S_FALSE;
}

// ---- IOleCommandTarget ----

// Every command but the script error keeps the control's own handling, which a failed or
// unsupported answer gives it.
STDMETHODIMP CWebCtrlInterFace::QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds,
                                            OLECMD prgCmds[], OLECMDTEXT* pCmdText) {
    if (!IsKnownGroup(pguidCmdGroup))
        return OLECMDERR_E_UNKNOWNGROUP;
    if (cCmds && IsBadWritePtr(prgCmds, cCmds * sizeof(OLECMD)))
        return E_POINTER;
    for (ULONG i = 0; i < cCmds; ++i)
        prgCmds[i].cmdf = IsScriptErrorCommand(pguidCmdGroup, prgCmds[i].cmdID)
                              ? OLECMDF_SUPPORTED | OLECMDF_ENABLED
                              : 0;
    if (!IsBadWritePtr(pCmdText, sizeof(*pCmdText)))
        pCmdText->cwActual = 0; // no name or status text
    return S_OK;
}

STDMETHODIMP CWebCtrlInterFace::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD, VARIANT*,
                                     VARIANT* pvaOut) {
    if (!IsKnownGroup(pguidCmdGroup))
        return OLECMDERR_E_UNKNOWNGROUP;
    if (!IsScriptErrorCommand(pguidCmdGroup, nCmdID))
        return OLECMDERR_E_NOTSUPPORTED;
    // A page's script error: go on running its scripts and show nothing. The player can do
    // nothing about it, and no error is ever put in front of them.
    if (!IsBadWritePtr(pvaOut, sizeof(*pvaOut))) {
        pvaOut->vt = VT_BOOL;
        pvaOut->boolVal = VARIANT_TRUE;
    }
    return S_OK;
}
