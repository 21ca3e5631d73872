#pragma once
// The main window's controls as plain rules: what a point hits, how hover, press and release move
// the control states, which action a release triggers and what must be repainted. The window's
// handlers translate messages into these calls and apply the outcome.

#include "mainwnd/Layout.h"

#include "framework/plain_types.h"
#include "res/resource.h"

#include <vector>

// Control ids: 0 none, 1 minimise, 2 maximise/restore, 3 close, 4 feedback, 5 + i tab i.
enum ControlId : int {
    kNoControl = 0,
    kMinButton = 1,
    kMaxButton = 2,
    kCloseButton = 3,
    kFeedbackButton = 4,
    kFirstTab = 5,
    kControlCount = kFirstTab + kTabCount,
    // Not a control: the picture in the bottom bar that links to the home page.
    kHomeLink = kControlCount,
};

enum ControlState : int { kNormal = 0, kHover = 1, kPressed = 2 };

enum class MouseMessage { Move, Down, Up };

// Everything the mouse rules read and write.
struct ControlStates {
    int state[kControlCount] = {}; // by control id; entry 0 unused
    int hoverId = kNoControl;      // control under the pointer as last seen
    int curTab = kFirstTab;        // control id of the selected tab
    bool maximized = false;        // maximised onto the work area
    bool trackingLeave = false;    // a leave notification is requested

    ControlStates() { state[kFirstTab] = kPressed; }
};

enum class MouseAction {
    None,
    Close,     // send WM_CLOSE
    Minimise,  // SC_MINIMIZE
    Maximise,  // SC_MAXIMIZE
    Restore,   // SC_RESTORE, then repaint the whole window
    Feedback,  // open the feedback page
    HomePage,  // open the home page
    ShowTab,   // select tab `tab` and show its page
    MoveWindow // start the system's move loop
};

struct MouseOutcome {
    MouseAction action = MouseAction::None;
    int tab = -1;                 // for ShowTab
    bool handCursor = false;      // pointer over the home link
    bool requestLeave = false;    // ask for a leave notification
    std::vector<RECT> invalidate; // repainted without erasing, in this order
};

// The rectangle of a control id, or of the home link.
RECT ControlRect(const ControlLayout& layout, int id);
// The first control (or kHomeLink) holding pt, in the order the message tests them.
int HitTestControls(const ControlLayout& layout, POINT pt, MouseMessage message);

// Sets every control that is neither hovered nor the selected tab back to normal; the rectangles
// of the ten controls are to be repainted.
std::vector<RECT> RefreshControlStates(ControlStates& s, const ControlLayout& layout);
// Makes tab i the selected one.
std::vector<RECT> SelectTab(ControlStates& s, const ControlLayout& layout, int tab);
// The rectangles of the controls whose state differs between two moments, in id order: of what
// a rule asks to repaint, the rest would be drawn again in the same frame.
std::vector<RECT> ChangedControls(const ControlStates& before, const ControlStates& after,
                                  const ControlLayout& layout);
// What clicking a control (or the home link) does, whatever its state: the mouse's release and
// an accessible object's default action alike. A restore clears the maximised flag.
MouseOutcome ClickOutcome(ControlStates& s, int id);

MouseOutcome MouseMove(ControlStates& s, const ControlLayout& layout, POINT pt);
MouseOutcome MouseDown(ControlStates& s, const ControlLayout& layout, POINT pt);
// A release over a control still pressed acts: the tab it selects is left to SelectTab, which
// the window runs for every way of choosing a tab.
MouseOutcome MouseUp(ControlStates& s, const ControlLayout& layout, POINT pt);
MouseOutcome MouseLeave(ControlStates& s, const ControlLayout& layout);

// The tab a tab key's command selects when tab `current` is shown: the next and the previous
// one wrap around, a number selects that tab. -1 for a number beyond the tabs and for any other
// command.
int TabForCommand(UINT command, int current, int tabCount = kTabCount);

// The eight sizing bands of a client area, three pixels wide inside the window.
struct SizingBands {
    RECT topEdge, leftEdge, rightEdge, bottomEdge;
    RECT topLeft, topRight, bottomLeft, bottomRight;
};
SizingBands CalcSizingBands(int cw, int ch);
// The sizing hit code (HTLEFT ...) of a client point, corners first; 0 outside every band.
int SizingHitTest(const SizingBands& bands, POINT pt);
// The WM_SYSCOMMAND that starts sizing for a hit code (SC_SIZE + WMSZ_...), or 0.
WPARAM SizeCommandFor(int hitCode);
// The system cursor for a hit code.
LPCWSTR CursorFor(int hitCode);
