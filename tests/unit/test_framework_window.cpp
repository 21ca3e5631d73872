// A framework window that deletes itself when its window ends, as page windows do.

#include "framework/afxwin.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Its memory is poisoned instead of freed, so that any later write into the object shows.
class CSelfDeleting : public CWnd {
public:
    static void* operator new(std::size_t size) { return s_pBlock = ::operator new(size); }
    static void operator delete(void* p, std::size_t size) { std::memset(p, 0xDD, size); }
    static inline void* s_pBlock = nullptr;

protected:
    void OnClose() { DestroyWindow(); }
    LRESULT OnCloseFromInside(WPARAM, LPARAM) { return SendMessage(WM_CLOSE); }
    void PostNcDestroy() override { delete this; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSelfDeleting, CWnd)
ON_WM_CLOSE()
ON_MESSAGE(WM_APP, OnCloseFromInside)
END_MESSAGE_MAP()

} // namespace

TEST(FrameworkWindow, NothingWritesIntoASelfDeletedWindow) {
    for (UINT message : {UINT(WM_CLOSE), UINT(WM_APP)}) { // destroyed by its handler, or nested
        CSelfDeleting* wnd = new CSelfDeleting;
        ASSERT_TRUE(
            wnd->CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr));
        const unsigned char* block = static_cast<const unsigned char*>(CSelfDeleting::s_pBlock);
        SendMessageW(wnd->m_hWnd, message, 0, 0);
        size_t touched = 0;
        for (size_t i = 0; i < sizeof(CSelfDeleting); ++i)
            touched += block[i] != 0xDD;
        EXPECT_EQ(0u, touched) << "bytes written after the object was deleted, message " << message;
        ::operator delete(const_cast<unsigned char*>(block));
    }
}
