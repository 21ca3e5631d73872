#include "web/WebDlg.h"

// Placeholder page: a plain child window that remembers its address.
BOOL CWebDlg::Create(UINT, CWnd* pParentWnd) {
    LPCWSTR cls = AfxRegisterWndClass(0, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    if (!CreateEx(0, cls, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, pParentWnd->GetSafeHwnd(),
                  nullptr)) {
        delete this;
        return FALSE;
    }
    return TRUE;
}

void CWebDlg::Navigate(const std::wstring& url) {
    m_strUrl = url;
}

void CWebDlg::OnCancel() {
    DestroyWindow();
    delete this;
}
