#include "framework/afxdlg.h"

namespace {

struct DialogCreation {
    CDialog* pDialog;
    BOOL bBound; // the object was bound to its window
};

} // namespace

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG)
        return FALSE;
    auto* creation = reinterpret_cast<DialogCreation*>(lParam);
    CDialog* pDialog = creation->pDialog;
    if (!pDialog->SubclassWindow(hWnd))
        return FALSE;
    creation->bBound = TRUE;
    // OnInitDialog may destroy the window, and a self-deleting dialog with it: the object is not
    // touched again here.
    try {
        return pDialog->OnInitDialog();
    } catch (...) {
        AfxAbsorbException();
        // Half set up: the dialog goes (and a self-deleting one with it), and Create fails.
        if (IsWindow(hWnd))
            DestroyWindow(hWnd);
        return FALSE;
    }
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    DialogCreation creation = {this, FALSE};
    HWND hWnd = CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDTemplate),
                                   pParentWnd ? pParentWnd->GetSafeHwnd() : nullptr, &AfxDlgProc,
                                   reinterpret_cast<LPARAM>(&creation));
    if (hWnd && IsWindow(hWnd))
        return TRUE;
    // No window was ever made (missing template, failed creation): the object's end of life is
    // still announced, as if its window had been destroyed.
    if (!creation.bBound)
        PostNcDestroy();
    return FALSE;
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    // Dialog navigation for keys only; everything else is dispatched as usual.
    if (m_hWnd && pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST)
        return IsDialogMessageW(m_hWnd, pMsg);
    return FALSE;
}

void CDialog::OnCancel() {
    if (m_hWnd)
        EndDialog(m_hWnd, IDCANCEL);
}
