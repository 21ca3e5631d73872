#pragma once
// The one IUnknown of the framework's COM objects: one reference count shared by every interface,
// and one identity, the first interface listed, which also answers IUnknown. A class lists only
// its own interfaces, in FindInterface.

#include <windows.h>

#include <unknwn.h>

template <typename First, typename... Others> class CComObject : public First, public Others... {
public:
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsBadWritePtr(ppv, sizeof(*ppv)))
            return m_hrBadOut;
        *ppv = riid == IID_IUnknown ? static_cast<First*>(this) : FindInterface(riid);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
    }
    STDMETHODIMP_(ULONG) Release() override {
        LONG n = InterlockedDecrement(&m_cRef);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

protected:
    // nInitialRefs is 1 when the creator holds the first reference, 0 when it takes it with
    // AddRef; hrBadOut answers a query whose out pointer cannot be written.
    explicit CComObject(LONG nInitialRefs = 1, HRESULT hrBadOut = E_POINTER)
        : m_cRef(nInitialRefs), m_hrBadOut(hrBadOut) {}
    virtual ~CComObject() = default;
    // The interface riid names, IUnknown aside, or null.
    virtual void* FindInterface(REFIID riid) = 0;

private:
    LONG m_cRef;
    HRESULT m_hrBadOut;
};
