#pragma once

#include "framework/afxwin.h"

#include <string>

// Page window of one tab. It hosts the web browser control; the main window only owns, moves,
// shows and closes it.
//
// Use: construct with new; Create(IDD_WEBDLG, parent) (FALSE means the object is already gone);
// MoveWindow; Navigate; ShowWindow. OnCancel closes the window and deletes the object.
class CWebDlg : public CWnd {
public:
    CWebDlg() = default;

    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd);
    void Navigate(const std::wstring& url);
    void OnCancel();

    const std::wstring& GetUrl() const { return m_strUrl; }

private:
    std::wstring m_strUrl;
};
