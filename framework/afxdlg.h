#pragma once
// Modeless dialogs from a dialog template resource, served by the framework's message maps.

#include "framework/afxwin.h"

class CDialog : public CWnd {
public:
    CDialog() = default;

    // Creates the dialog from template nIDTemplate as a window of pParentWnd and runs
    // OnInitDialog; one that throws destroys the dialog. FALSE when there is no window
    // afterwards; a dialog that deletes itself in PostNcDestroy is then already gone, whether or
    // not a window was ever made.
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    virtual BOOL OnInitDialog();
    // Ends the dialog with IDCANCEL.
    virtual void OnCancel();

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};
