// Framework windows that end themselves.

#include "framework/afxwin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>

namespace {

// Deletes itself once its window is gone, as page windows do. Its memory is poisoned instead of
// freed, so that any later write into the object shows.
class CSelfDeleting : public CWnd {
public:
    static void* operator new(std::size_t size) {
        s_pBlock = ::operator new(size);
        s_nSize = size;
        return s_pBlock;
    }
    static void operator delete(void* p, std::size_t size) { std::memset(p, 0xDD, size); }

    static void* s_pBlock;
    static std::size_t s_nSize;

protected:
    void OnClose() { DestroyWindow(); }
    LRESULT OnCloseFromInside(WPARAM, LPARAM) { return SendMessage(WM_CLOSE); }
    void PostNcDestroy() override { delete this; }
    DECLARE_MESSAGE_MAP()
};
void* CSelfDeleting::s_pBlock = nullptr;
std::size_t CSelfDeleting::s_nSize = 0;

BEGIN_MESSAGE_MAP(CSelfDeleting, CWnd)
ON_WM_CLOSE()
ON_MESSAGE(WM_APP, OnCloseFromInside)
END_MESSAGE_MAP()

} // namespace

TEST(FrameworkWindow, NothingWritesIntoASelfDeletedWindow) {
    struct Case {
        const char* name;
        UINT message;
    } cases[] = {{"handler destroys its window", WM_CLOSE}, {"destroyed in a nested call", WM_APP}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSelfDeleting* wnd = new CSelfDeleting;
        ASSERT_TRUE(wnd->CreateEx(0, AfxRegisterWndClass(0), L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr));
        HWND hWnd = wnd->m_hWnd;
        void* block = CSelfDeleting::s_pBlock;
        SendMessageW(hWnd, c.message, 0, 0);
        EXPECT_FALSE(IsWindow(hWnd));
        const unsigned char* bytes = static_cast<const unsigned char*>(block);
        size_t touched = 0;
        for (size_t i = 0; i < CSelfDeleting::s_nSize; ++i)
            touched += bytes[i] != 0xDD;
        EXPECT_EQ(0u, touched) << "bytes written after the object was deleted";
        ::operator delete(block);
    }
}
