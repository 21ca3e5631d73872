#pragma once
// Small owners for Windows handles, so that release is obvious at the point of acquisition.

#include <windows.h>
#include <bcrypt.h>
#include <unknwn.h>
#include <wincrypt.h>

#include <utility>

template <typename Traits> class UniqueResource {
public:
    using type = typename Traits::type;

    UniqueResource() = default;
    explicit UniqueResource(type value) : m_value(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    type get() const { return m_value; }
    explicit operator bool() const { return Traits::valid(m_value); }
    type release() { return std::exchange(m_value, Traits::none()); }
    void reset(type value = Traits::none()) {
        type old = std::exchange(m_value, value);
        if (Traits::valid(old))
            Traits::close(old);
    }

private:
    type m_value = Traits::none();
};

struct KernelHandleTraits {
    using type = HANDLE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(type h) { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

struct LibraryTraits {
    using type = HMODULE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::FreeLibrary(h); }
};
using UniqueLibrary = UniqueResource<LibraryTraits>;

// Bitmaps, brushes, regions and other GDI objects.
template <typename T> struct GdiObjectTraits {
    using type = T;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::DeleteObject(h); }
};
using UniqueBitmap = UniqueResource<GdiObjectTraits<HBITMAP>>;
using UniqueRegion = UniqueResource<GdiObjectTraits<HRGN>>;

struct MemoryDCTraits {
    using type = HDC;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::DeleteDC(h); }
};
using UniqueMemoryDC = UniqueResource<MemoryDCTraits>;

struct MenuTraits {
    using type = HMENU;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::DestroyMenu(h); }
};
using UniqueMenu = UniqueResource<MenuTraits>;

struct AcceleratorTraits {
    using type = HACCEL;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::DestroyAcceleratorTable(h); }
};
using UniqueAccelerator = UniqueResource<AcceleratorTraits>;

// CNG algorithm providers, keys and hash objects.
struct AlgorithmProviderTraits {
    using type = BCRYPT_ALG_HANDLE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
using UniqueAlgorithmProvider = UniqueResource<AlgorithmProviderTraits>;

struct CngKeyTraits {
    using type = BCRYPT_KEY_HANDLE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::BCryptDestroyKey(h); }
};
using UniqueCngKey = UniqueResource<CngKeyTraits>;

struct CngHashTraits {
    using type = BCRYPT_HASH_HANDLE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::BCryptDestroyHash(h); }
};
using UniqueCngHash = UniqueResource<CngHashTraits>;

// Certificate stores, cryptographic messages and certificates.
struct CertStoreTraits {
    using type = HCERTSTORE;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::CertCloseStore(h, 0); }
};
using UniqueCertStore = UniqueResource<CertStoreTraits>;

struct CryptMsgTraits {
    using type = HCRYPTMSG;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::CryptMsgClose(h); }
};
using UniqueCryptMsg = UniqueResource<CryptMsgTraits>;

struct CertContextTraits {
    using type = PCCERT_CONTEXT;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::CertFreeCertificateContext(h); }
};
using UniqueCertContext = UniqueResource<CertContextTraits>;

struct IconTraits {
    using type = HICON;
    static type none() { return nullptr; }
    static bool valid(type h) { return h != nullptr; }
    static void close(type h) { ::DestroyIcon(h); }
};
using UniqueIcon = UniqueResource<IconTraits>;

// A DC obtained with GetDC, returned with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND hWnd) : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~WindowDC() {
        if (m_hDC)
            ::ReleaseDC(m_hWnd, m_hDC);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};

// Selects an object into a DC for the scope and puts the old one back.
class SelectGuard {
public:
    SelectGuard(HDC hDC, HGDIOBJ obj) : m_hDC(hDC), m_old(::SelectObject(hDC, obj)) {}
    ~SelectGuard() { ::SelectObject(m_hDC, m_old); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_old;
};

// A memory DC with a bitmap compatible with another DC selected into it. The bitmap is selected
// out again before either is freed.
class MemorySurface {
public:
    MemorySurface() = default;
    ~MemorySurface() { reset(); }
    MemorySurface(const MemorySurface&) = delete;
    MemorySurface& operator=(const MemorySurface&) = delete;
    // A new w x h surface compatible with hDC in place of the one held; false, and empty, on
    // failure.
    bool create(HDC hDC, int w, int h) {
        reset();
        m_dc.reset(::CreateCompatibleDC(hDC));
        m_bitmap.reset(::CreateCompatibleBitmap(hDC, w, h));
        if (!m_dc || !m_bitmap) {
            reset();
            return false;
        }
        m_old = ::SelectObject(m_dc.get(), m_bitmap.get());
        return true;
    }
    void reset() {
        if (m_dc && m_old)
            ::SelectObject(m_dc.get(), m_old);
        m_old = nullptr;
        m_dc.reset();
        m_bitmap.reset();
    }
    HDC get() const { return m_dc.get(); }
    explicit operator bool() const { return m_old != nullptr; }

private:
    UniqueMemoryDC m_dc;
    UniqueBitmap m_bitmap;
    HGDIOBJ m_old = nullptr;
};

// Owns one COM reference.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) : m_p(other.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr& operator=(const ComPtr& other) {
        if (other.m_p)
            other.m_p->AddRef();
        reset();
        m_p = other.m_p;
        return *this;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held first.
    T** put() {
        reset();
        return &m_p;
    }
    void reset() {
        if (m_p)
            std::exchange(m_p, nullptr)->Release();
    }

private:
    T* m_p = nullptr;
};

// GDI+ objects are plain C++ objects allocated through GDI+'s own allocator.
template <typename T> class GdiplusPtr {
public:
    explicit GdiplusPtr(T* p = nullptr) : m_p(p) {}
    ~GdiplusPtr() { delete m_p; }
    GdiplusPtr(const GdiplusPtr&) = delete;
    GdiplusPtr& operator=(const GdiplusPtr&) = delete;
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    T* release() { return std::exchange(m_p, nullptr); }

private:
    T* m_p;
};
