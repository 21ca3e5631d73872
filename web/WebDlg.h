#pragma once

#include "framework/afxwin.h"

// Page window of one tab. It hosts the web browser control; the main window only owns, moves
// and closes it.
class CWebDlg : public CWnd {};
