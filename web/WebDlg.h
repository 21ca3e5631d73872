#pragma once

#include "framework/afxdlg.h"
#include "framework/afxole.h"

#include <exdisp.h>

#include <string>

class CWebCtrlInterFace;

#define IDC_WEBBROWSER 104

// Page window of one tab: a modeless child dialog that hosts the web browser control, paints an
// offline picture with a retry area while the network is down, and keeps the page's address.
//
// Use: construct with new; Create(IDD_WEBDLG, parent) (FALSE means the object is already gone);
// MoveWindow; Navigate; ShowWindow. OnCancel closes the window and deletes the object.
class CWebDlg : public CDialog {
public:
    CWebDlg();
    ~CWebDlg() override;

    void Navigate(const std::wstring& url);
    // Gives the keyboard focus to the page: the control's innermost window, which is its
    // document's where it has one; the page window itself while the offline picture shows.
    void FocusPage();
    void OnCancel() override;
    // What the page keeps of its address and retry area, for the window tests to compare.
    const std::wstring& GetUrl() const { return m_strUrl; }
    const RECT& GetRetryRect() const { return m_rcRetry; }

    // The network test; tests replace it.
    static BOOL (*s_pfnIsNetworkAlive)(LPDWORD lpdwFlags);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnInitDialog() override;

    virtual void OnTitleChange(BSTR bstrTitle);
    virtual void OnNewWindow3(IDispatch** ppDisp, VARIANT_BOOL* pbCancel, long dwFlags,
                              BSTR bstrUrlContext, BSTR bstrUrl);
    virtual void OnNavigateComplete2(IDispatch* pDisp, VARIANT* pvUrl);
    virtual void OnDocumentComplete(IDispatch* pDisp, VARIANT* pvUrl);
    virtual void OnProgressChange(long nProgress, long nProgressMax);
    void OnBeforeNavigate2(IDispatch* pDisp, VARIANT* pvUrl, VARIANT* pvFlags,
                           VARIANT* pvTargetFrameName, VARIANT* pvPostData, VARIANT* pvHeaders,
                           VARIANT_BOOL* pbCancel);

protected:
    void PostNcDestroy() override;

    void OnSize(UINT nType, int cx, int cy);
    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
    DECLARE_EVENTSINK_MAP()

private:
    void InstallUIHandler();
    // Tests the network and tells the main window.
    BOOL CheckNetwork();
    void KeepAddress(const VARIANT* pvUrl);

    IWebBrowser2* m_pBrowser = nullptr;
    CWnd m_wndBrowser;
    CWebCtrlInterFace* m_pUIHandler = nullptr;
    std::wstring m_strUrl;
    RECT m_rcRetry = {0, 0, 0, 0};
    BOOL m_bNavigated = TRUE;
};
