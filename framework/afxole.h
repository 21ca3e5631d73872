#pragma once
// OLE control hosting: a window's control site (our own minimal in-place container) and event
// sink maps that deliver a control's events to the handlers of the window that owns it.

#include "framework/afxwin.h"

#include <oaidl.h>
#include <utility>

// ---- event sink maps ----

// Parameter type lists, one character per parameter; the 0x40 bit marks a by-reference value.
#define VTS_I4 "\x03"
#define VTS_BSTR "\x08"
#define VTS_DISPATCH "\x09"
#define VTS_BOOL "\x0B"
#define VTS_VARIANT "\x0C"
#define VTS_PI4 "\x43"
#define VTS_PDISPATCH "\x49"
#define VTS_PBOOL "\x4B"
#define VTS_PVARIANT "\x4C"

// args holds the event's parameters in their declared order, already checked against pszParams.
using AFX_PEVENT = HRESULT (*)(CCmdTarget* pTarget, VARIANTARG* const* args, UINT nArgs);

struct AFX_EVENTSINKMAP_ENTRY {
    UINT nCtrlID; // 0 ends the table
    DISPID dispid;
    const char* pszParams;
    AFX_PEVENT pfn;
};

struct AFX_EVENTSINKMAP {
    const AFX_EVENTSINKMAP* (*pfnGetBaseMap)();
    const AFX_EVENTSINKMAP_ENTRY* lpEntries;
};

// Checks an event call against the entry and calls its handler. A call with the wrong number of
// arguments is refused with DISP_E_BADPARAMCOUNT, one with a wrong type (or a null reference)
// with DISP_E_TYPEMISMATCH; nothing is read beyond what the call carries.
HRESULT AfxDispatchEvent(CCmdTarget* pTarget, const AFX_EVENTSINKMAP_ENTRY& entry,
                         const DISPPARAMS* pParams);
// The entry of pTarget's sink map (or its bases') for the control and event, or null.
const AFX_EVENTSINKMAP_ENTRY* AfxFindEventEntry(const CCmdTarget* pTarget, UINT nCtrlID,
                                                DISPID dispid);

// How a handler's parameter is read from its argument.
template <typename T> struct AfxEventArg;
template <> struct AfxEventArg<long> {
    // A 32-bit flags value may come as unsigned.
    static bool Accepts(VARTYPE vt) { return vt == VT_I4 || vt == VT_UI4; }
    static long Get(VARIANTARG* v) { return v->lVal; }
};
template <> struct AfxEventArg<BSTR> {
    static bool Accepts(VARTYPE vt) { return vt == VT_BSTR; }
    static BSTR Get(VARIANTARG* v) { return v->bstrVal; }
};
template <> struct AfxEventArg<IDispatch*> {
    static bool Accepts(VARTYPE vt) { return vt == VT_DISPATCH; }
    static IDispatch* Get(VARIANTARG* v) { return v->pdispVal; }
};
template <> struct AfxEventArg<VARIANT*> {
    static bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_VARIANT); }
    static VARIANT* Get(VARIANTARG* v) { return v->pvarVal; }
};
template <> struct AfxEventArg<VARIANT_BOOL*> {
    static bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_BOOL); }
    static VARIANT_BOOL* Get(VARIANTARG* v) { return v->pboolVal; }
};
template <> struct AfxEventArg<IDispatch**> {
    static bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_DISPATCH); }
    static IDispatch** Get(VARIANTARG* v) { return v->ppdispVal; }
};

template <typename T, typename... A, size_t... I>
HRESULT AfxCallEventHandler(T* p, void (T::*pmf)(A...), VARIANTARG* const* args,
                            std::index_sequence<I...>) {
    // The handler's own parameter types are checked too: a type list that disagrees with the
    // handler can never make it read a member of the wrong kind.
    if (!(true && ... && AfxEventArg<A>::Accepts(args[I]->vt)))
        return DISP_E_TYPEMISMATCH;
    (p->*pmf)(AfxEventArg<A>::Get(args[I])...);
    return S_OK;
}

template <typename T, typename... A>
HRESULT AfxCallEvent(CCmdTarget* p, void (T::*pmf)(A...), VARIANTARG* const* args, UINT nArgs) {
    if (nArgs != sizeof...(A))
        return DISP_E_BADPARAMCOUNT;
    return AfxCallEventHandler(static_cast<T*>(p), pmf, args, std::index_sequence_for<A...>{});
}

#define DECLARE_EVENTSINK_MAP()                                                                    \
public:                                                                                            \
    static const AFX_EVENTSINKMAP* GetThisEventSinkMap();                                          \
    const AFX_EVENTSINKMAP* GetEventSinkMap() const override;

#define BEGIN_EVENTSINK_MAP(theClass, baseClass)                                                   \
    const AFX_EVENTSINKMAP* theClass::GetEventSinkMap() const {                                    \
        return GetThisEventSinkMap();                                                              \
    }                                                                                              \
    const AFX_EVENTSINKMAP* theClass::GetThisEventSinkMap() {                                      \
        static const AFX_EVENTSINKMAP* (*const pfnBase)() = &AfxBaseEventSinkMap<baseClass>;       \
        static const AFX_EVENTSINKMAP_ENTRY _eventEntries[] = {

// The handler is a member void OnXxx(...) whose parameter types match the list.
#define ON_EVENT(theClass, id, dispid, pfnHandler, vtsParams)                                      \
    {id, dispid, vtsParams, [](CCmdTarget* p, VARIANTARG* const* a, UINT n) -> HRESULT {           \
         return AfxCallEvent(p, &theClass::pfnHandler, a, n);                                      \
     }},

#define END_EVENTSINK_MAP()                                                                        \
    { 0, 0, nullptr, nullptr }                                                                     \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_EVENTSINKMAP eventsinkMap = {pfnBase, &_eventEntries[0]};                     \
    return &eventsinkMap;                                                                          \
    }

// The sink map of a base class, or none when the base declares none of its own.
template <typename B> const AFX_EVENTSINKMAP* AfxBaseEventSinkMapOf(...) {
    return nullptr;
}
template <typename B> auto AfxBaseEventSinkMapOf(int) -> decltype(B::GetThisEventSinkMap()) {
    return B::GetThisEventSinkMap();
}
template <typename B> const AFX_EVENTSINKMAP* AfxBaseEventSinkMap() {
    return AfxBaseEventSinkMapOf<B>(0);
}

// ---- control site ----

// Hosts one control in a window of its own (the CWnd that CreateControl was called on). The
// control gets this site as its client site, in-place site and frame, and its default event
// interface is connected to the owner's parent's event sink map.
class COleControlSite {
public:
    // Teardown of the control, for a host window that goes away.
    static void DestroyControl(CWnd* pHost);
    // Keeps the control's extent with its host window and closes it with the window.
    static void OnHostMessage(CWnd* pHost, UINT message, WPARAM wParam, LPARAM lParam);
    static BOOL Create(CWnd* pHost, REFCLSID clsid, LPCWSTR pszWindowName, DWORD dwStyle,
                       const RECT& rect, CWnd* pParentWnd, UINT nID);
    static IUnknown* ControlUnknown(const CWnd* pHost);
};
