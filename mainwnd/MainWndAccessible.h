#pragma once
// The main window's accessible object: through it a screen reader finds the painted caption
// buttons, the home link and the tabs, reads them and presses them. The window's own name,
// place, parent and state come from the system's standard object for its client area.

#include "framework/afxcom.h"
#include "framework/handles.h"

#include <oleacc.h>

class CMainWnd;

// Asked for by WM_GETOBJECT and made then. A reader in another process may hold it after the
// window is gone: once detached, every call answers RPC_E_DISCONNECTED.
class CMainWndAccessible : public CComObject<IAccessible> {
public:
    explicit CMainWndAccessible(CMainWnd* pWnd) : m_pWnd(pWnd) {}
    void Detach();

    // IDispatch: the object is reached through its own interface only.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }

    STDMETHODIMP get_accParent(IDispatch** ppdispParent) override;
    STDMETHODIMP get_accChildCount(long* pcountChildren) override;
    STDMETHODIMP get_accChild(VARIANT varChild, IDispatch** ppdispChild) override;
    STDMETHODIMP get_accName(VARIANT varChild, BSTR* pszName) override;
    STDMETHODIMP get_accValue(VARIANT varChild, BSTR* pszValue) override;
    STDMETHODIMP get_accDescription(VARIANT varChild, BSTR* pszDescription) override;
    STDMETHODIMP get_accRole(VARIANT varChild, VARIANT* pvarRole) override;
    STDMETHODIMP get_accState(VARIANT varChild, VARIANT* pvarState) override;
    STDMETHODIMP get_accHelp(VARIANT varChild, BSTR* pszHelp) override;
    STDMETHODIMP get_accHelpTopic(BSTR* pszHelpFile, VARIANT varChild, long* pidTopic) override;
    STDMETHODIMP get_accKeyboardShortcut(VARIANT varChild, BSTR* pszShortcut) override;
    STDMETHODIMP get_accFocus(VARIANT* pvarChild) override;
    STDMETHODIMP get_accSelection(VARIANT* pvarChildren) override;
    STDMETHODIMP get_accDefaultAction(VARIANT varChild, BSTR* pszDefaultAction) override;
    STDMETHODIMP accSelect(long flagsSelect, VARIANT varChild) override;
    STDMETHODIMP accLocation(long* pxLeft, long* pyTop, long* pcxWidth, long* pcyHeight,
                             VARIANT varChild) override;
    STDMETHODIMP accNavigate(long navDir, VARIANT varStart, VARIANT* pvarEnd) override;
    STDMETHODIMP accHitTest(long xLeft, long yTop, VARIANT* pvarChild) override;
    STDMETHODIMP accDoDefaultAction(VARIANT varChild) override;
    STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    void* FindInterface(REFIID riid) override;
    // The standard object of the window's client area, made on first use; null when gone.
    IAccessible* Standard();
    // Children: the painted controls, then the page windows there are, in tab order.
    long ChildCount() const;
    HWND PageOfChild(long child) const;
    // A child as a reader expects it: a simple element's id, or a page window's own object.
    HRESULT ChildVariant(long child, VARIANT* pvar) const;
    // The painted child a VARIANT names, 0 for the object itself, -1 for anything else.
    long PaintedChild(const VARIANT& varChild) const;
    HRESULT Text(unsigned id, BSTR* psz) const;
    // A property of the child a VARIANT names: the standard object answers for the window itself,
    // painted(child) for a painted control; once the window is gone, every call fails.
    template <typename Self, typename Painted>
    HRESULT ForChild(const VARIANT& varChild, Self self, Painted painted);
    // A property only the window itself has: a painted control has none.
    template <typename Self> HRESULT SelfOnly(const VARIANT& varChild, Self self);

    CMainWnd* m_pWnd;
    ComPtr<IAccessible> m_pStandard;
};
