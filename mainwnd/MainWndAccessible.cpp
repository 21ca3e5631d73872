#include "mainwnd/MainWndAccessible.h"

#include "mainwnd/AccessibleRules.h"
#include "mainwnd/MainWnd.h"
#include "web/PageAddresses.h"
#include "web/WebDlg.h"

namespace {

void SetI4(VARIANT* pvar, long value) {
    pvar->vt = VT_I4;
    pvar->lVal = value;
}

} // namespace

void CMainWndAccessible::Detach() {
    m_pWnd = nullptr;
    m_pStandard.reset();
}

void* CMainWndAccessible::FindInterface(REFIID riid) {
    return riid == IID_IDispatch || riid == IID_IAccessible ? static_cast<IAccessible*>(this)
                                                            : nullptr;
}

IAccessible* CMainWndAccessible::Standard() {
    if (!m_pStandard && m_pWnd &&
        FAILED(CreateStdAccessibleObject(m_pWnd->m_hWnd, OBJID_CLIENT, IID_IAccessible,
                                         reinterpret_cast<void**>(m_pStandard.put()))))
        m_pStandard.reset();
    return m_pStandard.get();
}

long CMainWndAccessible::ChildCount() const {
    long count = kPaintedChildCount;
    for (CWebDlg* page : m_pWnd->m_pWebDlg)
        count += page && IsWindow(page->m_hWnd);
    return count;
}

HWND CMainWndAccessible::PageOfChild(long child) const {
    long next = kPaintedChildCount + 1;
    for (CWebDlg* page : m_pWnd->m_pWebDlg) {
        if (page && IsWindow(page->m_hWnd) && next++ == child)
            return page->m_hWnd;
    }
    return nullptr;
}

HRESULT CMainWndAccessible::ChildVariant(long child, VARIANT* pvar) const {
    if (child <= kPaintedChildCount) {
        SetI4(pvar, child);
        return S_OK;
    }
    IDispatch* pdisp = nullptr;
    HWND page = PageOfChild(child);
    HRESULT hr = page ? AccessibleObjectFromWindow(page, OBJID_WINDOW, IID_IDispatch,
                                                   reinterpret_cast<void**>(&pdisp))
                      : E_INVALIDARG;
    if (SUCCEEDED(hr) && pdisp) {
        pvar->vt = VT_DISPATCH;
        pvar->pdispVal = pdisp;
    }
    return hr;
}

long CMainWndAccessible::PaintedChild(const VARIANT& varChild) const {
    if (varChild.vt != VT_I4 || varChild.lVal < 0 || varChild.lVal > kPaintedChildCount)
        return -1;
    return varChild.lVal;
}

HRESULT CMainWndAccessible::Text(unsigned id, BSTR* psz) const {
    const wchar_t* text = nullptr;
    // The resource's own text, not a copy: its length comes back, the text is not terminated.
    int n = id ? LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0) : 0;
    if (n <= 0 || !text)
        return DISP_E_MEMBERNOTFOUND;
    *psz = SysAllocStringLen(text, static_cast<UINT>(n));
    return *psz ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMainWndAccessible::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP CMainWndAccessible::get_accParent(IDispatch** ppdispParent) {
    if (!ppdispParent)
        return E_POINTER;
    *ppdispParent = nullptr;
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    IAccessible* standard = Standard();
    return standard ? standard->get_accParent(ppdispParent) : E_FAIL;
}

STDMETHODIMP CMainWndAccessible::get_accChildCount(long* pcountChildren) {
    if (!pcountChildren)
        return E_POINTER;
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    *pcountChildren = ChildCount();
    return S_OK;
}

STDMETHODIMP CMainWndAccessible::get_accChild(VARIANT varChild, IDispatch** ppdispChild) {
    if (!ppdispChild)
        return E_POINTER;
    *ppdispChild = nullptr;
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    if (PaintedChild(varChild) > 0)
        return S_FALSE; // a simple element, answered by this object
    HWND page = varChild.vt == VT_I4 ? PageOfChild(varChild.lVal) : nullptr;
    if (!page)
        return E_INVALIDARG;
    return AccessibleObjectFromWindow(page, OBJID_WINDOW, IID_IDispatch,
                                      reinterpret_cast<void**>(ppdispChild));
}

template <typename Self, typename Painted>
HRESULT CMainWndAccessible::ForChild(const VARIANT& varChild, Self self, Painted painted) {
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    long child = PaintedChild(varChild);
    if (child < 0)
        return E_INVALIDARG;
    if (child == CHILDID_SELF)
        return Standard() ? self(Standard()) : E_FAIL;
    return painted(child);
}

template <typename Self> HRESULT CMainWndAccessible::SelfOnly(const VARIANT& varChild, Self self) {
    return ForChild(varChild, self, [](long) { return DISP_E_MEMBERNOTFOUND; });
}

STDMETHODIMP CMainWndAccessible::get_accName(VARIANT varChild, BSTR* pszName) {
    if (!pszName)
        return E_POINTER;
    *pszName = nullptr;
    return ForChild(
        varChild, [&](IAccessible* self) { return self->get_accName(varChild, pszName); },
        [&](long child) { return Text(DescribeChild(m_pWnd->m_states, child).nameId, pszName); });
}

STDMETHODIMP CMainWndAccessible::get_accValue(VARIANT varChild, BSTR* pszValue) {
    if (!pszValue)
        return E_POINTER;
    *pszValue = nullptr;
    return ForChild(
        varChild, [&](IAccessible* self) { return self->get_accValue(varChild, pszValue); },
        [&](long child) -> HRESULT {
            if (ControlOfChild(child) != kHomeLink)
                return DISP_E_MEMBERNOTFOUND;
            try {
                // A link's value is where it leads.
                *pszValue = SysAllocString(HomePageAddress().c_str());
            } catch (...) {
                AfxAbsorbException();
            }
            return *pszValue ? S_OK : E_OUTOFMEMORY;
        });
}

STDMETHODIMP CMainWndAccessible::get_accDescription(VARIANT varChild, BSTR* pszDescription) {
    if (!pszDescription)
        return E_POINTER;
    *pszDescription = nullptr;
    return SelfOnly(varChild, [&](IAccessible* self) {
        return self->get_accDescription(varChild, pszDescription);
    });
}

STDMETHODIMP CMainWndAccessible::get_accRole(VARIANT varChild, VARIANT* pvarRole) {
    if (!pvarRole)
        return E_POINTER;
    VariantInit(pvarRole);
    return ForChild(
        varChild, [&](IAccessible* self) { return self->get_accRole(varChild, pvarRole); },
        [&](long child) {
            SetI4(pvarRole, DescribeChild(m_pWnd->m_states, child).role);
            return S_OK;
        });
}

STDMETHODIMP CMainWndAccessible::get_accState(VARIANT varChild, VARIANT* pvarState) {
    if (!pvarState)
        return E_POINTER;
    VariantInit(pvarState);
    return ForChild(
        varChild, [&](IAccessible* self) { return self->get_accState(varChild, pvarState); },
        [&](long child) {
            long state = DescribeChild(m_pWnd->m_states, child).state;
            if (!IsWindowVisible(m_pWnd->m_hWnd))
                state |= STATE_SYSTEM_INVISIBLE;
            SetI4(pvarState, state);
            return S_OK;
        });
}

STDMETHODIMP CMainWndAccessible::get_accHelp(VARIANT varChild, BSTR* pszHelp) {
    if (!pszHelp)
        return E_POINTER;
    *pszHelp = nullptr;
    return SelfOnly(varChild,
                    [&](IAccessible* self) { return self->get_accHelp(varChild, pszHelp); });
}

STDMETHODIMP CMainWndAccessible::get_accHelpTopic(BSTR* pszHelpFile, VARIANT varChild,
                                                  long* pidTopic) {
    if (!pszHelpFile || !pidTopic)
        return E_POINTER;
    *pszHelpFile = nullptr;
    *pidTopic = -1;
    return SelfOnly(varChild, [&](IAccessible* self) {
        return self->get_accHelpTopic(pszHelpFile, varChild, pidTopic);
    });
}

STDMETHODIMP CMainWndAccessible::get_accKeyboardShortcut(VARIANT varChild, BSTR* pszShortcut) {
    if (!pszShortcut)
        return E_POINTER;
    *pszShortcut = nullptr;
    return ForChild(
        varChild,
        [&](IAccessible* self) { return self->get_accKeyboardShortcut(varChild, pszShortcut); },
        [&](long child) -> HRESULT {
            try {
                std::wstring keys = ChildShortcut(child);
                if (keys.empty())
                    return DISP_E_MEMBERNOTFOUND;
                *pszShortcut = SysAllocString(keys.c_str());
            } catch (...) {
                AfxAbsorbException();
            }
            return *pszShortcut ? S_OK : E_OUTOFMEMORY;
        });
}

STDMETHODIMP CMainWndAccessible::get_accFocus(VARIANT* pvarChild) {
    if (!pvarChild)
        return E_POINTER;
    VariantInit(pvarChild);
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    HWND focus = GetFocus();
    if (focus == m_pWnd->m_hWnd) {
        SetI4(pvarChild, CHILDID_SELF);
        return S_OK;
    }
    for (long child = kPaintedChildCount + 1; HWND page = PageOfChild(child); ++child) {
        if (page == focus || IsChild(page, focus))
            return ChildVariant(child, pvarChild);
    }
    return S_FALSE;
}

STDMETHODIMP CMainWndAccessible::get_accSelection(VARIANT* pvarChildren) {
    if (!pvarChildren)
        return E_POINTER;
    VariantInit(pvarChildren);
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    SetI4(pvarChildren, ChildOfControl(m_pWnd->m_states.curTab));
    return S_OK;
}

STDMETHODIMP CMainWndAccessible::get_accDefaultAction(VARIANT varChild, BSTR* pszDefaultAction) {
    if (!pszDefaultAction)
        return E_POINTER;
    *pszDefaultAction = nullptr;
    return ForChild(
        varChild,
        [&](IAccessible* self) { return self->get_accDefaultAction(varChild, pszDefaultAction); },
        [&](long child) {
            return Text(DescribeChild(m_pWnd->m_states, child).actionId, pszDefaultAction);
        });
}

STDMETHODIMP CMainWndAccessible::accSelect(long flagsSelect, VARIANT varChild) {
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    long child = PaintedChild(varChild);
    if (child == CHILDID_SELF)
        return Standard() ? Standard()->accSelect(flagsSelect, varChild) : E_FAIL;
    // Only a tab can be selected, and only as the one selection: as its default action does.
    if (child < 0 || ControlOfChild(child) < kFirstTab || ControlOfChild(child) == kHomeLink ||
        !(flagsSelect & SELFLAG_TAKESELECTION))
        return E_INVALIDARG;
    return accDoDefaultAction(varChild);
}

STDMETHODIMP CMainWndAccessible::accLocation(long* pxLeft, long* pyTop, long* pcxWidth,
                                             long* pcyHeight, VARIANT varChild) {
    if (!pxLeft || !pyTop || !pcxWidth || !pcyHeight)
        return E_POINTER;
    *pxLeft = *pyTop = *pcxWidth = *pcyHeight = 0;
    return ForChild(
        varChild,
        [&](IAccessible* self) {
            return self->accLocation(pxLeft, pyTop, pcxWidth, pcyHeight, varChild);
        },
        [&](long child) {
            RECT rc = m_pWnd->m_map.ToPixels(ChildRect(m_pWnd->m_layout, child));
            MapWindowPoints(m_pWnd->m_hWnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
            *pxLeft = rc.left;
            *pyTop = rc.top;
            *pcxWidth = rc.right - rc.left;
            *pcyHeight = rc.bottom - rc.top;
            return S_OK;
        });
}

STDMETHODIMP CMainWndAccessible::accNavigate(long navDir, VARIANT varStart, VARIANT* pvarEnd) {
    if (!pvarEnd)
        return E_POINTER;
    VariantInit(pvarEnd);
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    if (varStart.vt != VT_I4)
        return E_INVALIDARG;
    long start = varStart.lVal, count = ChildCount(), end = 0;
    if (start == CHILDID_SELF) {
        if (navDir == NAVDIR_FIRSTCHILD)
            end = 1;
        else if (navDir == NAVDIR_LASTCHILD)
            end = count;
        else // the client area's own neighbours
            return Standard() ? Standard()->accNavigate(navDir, varStart, pvarEnd) : E_FAIL;
    } else if (start < 0 || start > count) {
        return E_INVALIDARG;
    } else if (navDir == NAVDIR_NEXT && start < count) {
        end = start + 1;
    } else if (navDir == NAVDIR_PREVIOUS && start > 1) {
        end = start - 1;
    }
    return end > 0 ? ChildVariant(end, pvarEnd) : S_FALSE;
}

STDMETHODIMP CMainWndAccessible::accHitTest(long xLeft, long yTop, VARIANT* pvarChild) {
    if (!pvarChild)
        return E_POINTER;
    VariantInit(pvarChild);
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    HWND hWnd = m_pWnd->m_hWnd;
    POINT pt = {xLeft, yTop};
    RECT client = {};
    ScreenToClient(hWnd, &pt);
    GetClientRect(hWnd, &client);
    if (!PtInRect(&client, pt))
        return S_FALSE;
    // A page window lies over the tabs' lowest rows: there the page is what the pointer is on.
    HWND window = ChildWindowFromPointEx(hWnd, pt, CWP_SKIPINVISIBLE);
    if (window && window != hWnd) {
        for (long child = kPaintedChildCount + 1; HWND page = PageOfChild(child); ++child) {
            if (page == window)
                return ChildVariant(child, pvarChild);
        }
    }
    SetI4(pvarChild, ChildAt(m_pWnd->m_layout, m_pWnd->m_map.ToDesign(pt)));
    return S_OK;
}

STDMETHODIMP CMainWndAccessible::accDoDefaultAction(VARIANT varChild) {
    if (!m_pWnd)
        return RPC_E_DISCONNECTED;
    long child = PaintedChild(varChild);
    if (child <= 0)
        return child == CHILDID_SELF ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
    // Posted: the reader's call returns at once, and a close or a move never runs inside it.
    return m_pWnd->PostMessage(WM_CONTROLACTION, static_cast<WPARAM>(ControlOfChild(child)))
               ? S_OK
               : E_FAIL;
}
