#include "mainwnd/Interaction.h"

#include <iterator>

namespace {

bool IsButton(int id) {
    return id >= kMinButton && id <= kFeedbackButton;
}

bool IsTab(int id) {
    return id >= kFirstTab && id < kControlCount;
}

// For every tab but i that is merely hovered: back to normal. Pressed tabs are left alone.
std::vector<RECT> ClearOtherTabHover(ControlStates& s, const ControlLayout& layout, int tab) {
    std::vector<RECT> rects;
    for (int j = 0; j < kTabCount; ++j) {
        int& state = s.state[kFirstTab + j];
        if (j != tab && state == kHover) {
            state = kNormal;
            rects.push_back(layout.tab[j]);
        }
    }
    return rects;
}

} // namespace

RECT ControlRect(const ControlLayout& layout, int id) {
    switch (id) {
    case kMinButton:
        return layout.min;
    case kMaxButton:
        return layout.max;
    case kCloseButton:
        return layout.close;
    case kFeedbackButton:
        return layout.feedback;
    case kHomeLink:
        return layout.homeLink;
    default:
        return IsTab(id) ? layout.tab[id - kFirstTab] : RECT{};
    }
}

int HitTestControls(const ControlLayout& layout, POINT pt, MouseMessage message) {
    auto holds = [&](int id) {
        RECT rc = ControlRect(layout, id);
        return PtInRect(&rc, pt) != FALSE;
    };
    for (int id : {kCloseButton, kMinButton, kMaxButton, kFeedbackButton}) {
        if (holds(id))
            return id;
    }
    // The press looks at the home link last, and only to keep it from moving the window.
    const bool down = message == MouseMessage::Down;
    if (!down && holds(kHomeLink))
        return kHomeLink;
    for (int id = kFirstTab; id < kControlCount; ++id) {
        if (holds(id))
            return id;
    }
    return down && holds(kHomeLink) ? kHomeLink : kNoControl;
}

std::vector<RECT> RefreshControlStates(ControlStates& s, const ControlLayout& layout) {
    for (int id = kMinButton; id < kControlCount; ++id) {
        if (id != s.hoverId && id != s.curTab)
            s.state[id] = kNormal;
    }
    std::vector<RECT> rects = {layout.close, layout.min, layout.max, layout.feedback};
    rects.insert(rects.end(), std::begin(layout.tab), std::end(layout.tab));
    return rects;
}

std::vector<RECT> SelectTab(ControlStates& s, const ControlLayout& layout, int tab) {
    s.curTab = kFirstTab + tab;
    s.state[s.curTab] = kPressed;
    return RefreshControlStates(s, layout);
}

std::vector<RECT> ChangedControls(const ControlStates& before, const ControlStates& after,
                                  const ControlLayout& layout) {
    std::vector<RECT> rects;
    for (int id = kMinButton; id < kControlCount; ++id) {
        if (before.state[id] != after.state[id])
            rects.push_back(ControlRect(layout, id));
    }
    return rects;
}

MouseOutcome MouseMove(ControlStates& s, const ControlLayout& layout, POINT pt) {
    MouseOutcome out;
    int id = HitTestControls(layout, pt, MouseMessage::Move);
    if (id == kHomeLink) {
        out.handCursor = true;
    } else if (IsButton(id) || IsTab(id)) {
        if (s.state[id] == kNormal) {
            s.state[id] = kHover;
            s.hoverId = id;
            out.invalidate = RefreshControlStates(s, layout);
        } else if (IsTab(id)) {
            out.invalidate = ClearOtherTabHover(s, layout, id - kFirstTab);
        }
    } else {
        s.hoverId = kNoControl;
        out.invalidate = RefreshControlStates(s, layout);
    }
    if (!s.trackingLeave) {
        s.trackingLeave = true;
        out.requestLeave = true;
    }
    return out;
}

MouseOutcome MouseDown(ControlStates& s, const ControlLayout& layout, POINT pt) {
    MouseOutcome out;
    int id = HitTestControls(layout, pt, MouseMessage::Down);
    if (IsButton(id)) {
        if (s.state[id] == kHover) {
            s.state[id] = kPressed;
            out.invalidate.push_back(ControlRect(layout, id));
        }
    } else if (IsTab(id)) {
        if (s.state[id] == kHover) {
            s.state[id] = kPressed;
            out.invalidate = RefreshControlStates(s, layout);
        }
    } else if (id == kNoControl) {
        out.action = MouseAction::MoveWindow;
    }
    return out;
}

MouseOutcome ClickOutcome(ControlStates& s, int id) {
    MouseOutcome out;
    switch (id) {
    case kCloseButton:
        out.action = MouseAction::Close;
        break;
    case kMinButton:
        out.action = MouseAction::Minimise;
        break;
    case kMaxButton:
        out.action = s.maximized ? MouseAction::Restore : MouseAction::Maximise;
        s.maximized = false;
        break;
    case kFeedbackButton:
        out.action = MouseAction::Feedback;
        break;
    case kHomeLink:
        out.action = MouseAction::HomePage;
        break;
    default:
        if (IsTab(id)) {
            out.action = MouseAction::ShowTab;
            out.tab = id - kFirstTab;
        }
        break;
    }
    return out;
}

MouseOutcome MouseUp(ControlStates& s, const ControlLayout& layout, POINT pt) {
    int id = HitTestControls(layout, pt, MouseMessage::Up);
    if (id == kHomeLink)
        return ClickOutcome(s, id);
    if (id == kNoControl) {
        MouseOutcome out;
        out.invalidate = RefreshControlStates(s, layout);
        return out;
    }
    if (s.state[id] != kPressed)
        return MouseOutcome();
    s.state[id] = kNormal;
    MouseOutcome out = ClickOutcome(s, id);
    out.invalidate.push_back(ControlRect(layout, id));
    return out;
}

MouseOutcome MouseLeave(ControlStates& s, const ControlLayout& layout) {
    MouseOutcome out;
    if (s.trackingLeave) {
        s.trackingLeave = false;
        s.hoverId = kNoControl;
        out.invalidate = RefreshControlStates(s, layout);
    }
    return out;
}

int TabForCommand(UINT command, int current, int tabCount) {
    if (tabCount <= 0)
        return -1;
    if (command == ID_TAB_NEXT)
        return (current + 1) % tabCount;
    if (command == ID_TAB_PREV)
        return (current + tabCount - 1) % tabCount;
    if (command >= ID_TAB_NUMBER_FIRST && command <= ID_TAB_NUMBER_LAST) {
        int tab = static_cast<int>(command - ID_TAB_NUMBER_FIRST);
        return tab < tabCount ? tab : -1;
    }
    return -1;
}

SizingBands CalcSizingBands(int cw, int ch) {
    SizingBands b;
    b.topEdge = {-2, -2, cw, 3};
    b.leftEdge = {-2, -2, 3, ch};
    b.rightEdge = {cw - 3, -2, cw, ch};
    b.bottomEdge = {-2, ch - 3, cw, ch};
    b.topLeft = {-2, -2, 3, 3};
    b.topRight = {cw - 3, -2, cw + 2, 3};
    b.bottomLeft = {-2, ch - 3, 3, ch + 2};
    b.bottomRight = {cw - 3, ch - 3, cw + 2, ch + 2};
    return b;
}

int SizingHitTest(const SizingBands& b, POINT pt) {
    const struct {
        const RECT& rc;
        int code;
    } order[] = {{b.bottomLeft, HTBOTTOMLEFT},   {b.topLeft, HTTOPLEFT}, {b.topRight, HTTOPRIGHT},
                 {b.bottomRight, HTBOTTOMRIGHT}, {b.leftEdge, HTLEFT},   {b.topEdge, HTTOP},
                 {b.bottomEdge, HTBOTTOM},       {b.rightEdge, HTRIGHT}};
    for (const auto& band : order) {
        if (PtInRect(&band.rc, pt))
            return band.code;
    }
    return 0;
}

WPARAM SizeCommandFor(int hitCode) {
    switch (hitCode) {
    case HTLEFT:
        return SC_SIZE + WMSZ_LEFT;
    case HTRIGHT:
        return SC_SIZE + WMSZ_RIGHT;
    case HTTOP:
        return SC_SIZE + WMSZ_TOP;
    case HTTOPLEFT:
        return SC_SIZE + WMSZ_TOPLEFT;
    case HTTOPRIGHT:
        return SC_SIZE + WMSZ_TOPRIGHT;
    case HTBOTTOM:
        return SC_SIZE + WMSZ_BOTTOM;
    case HTBOTTOMLEFT:
        return SC_SIZE + WMSZ_BOTTOMLEFT;
    case HTBOTTOMRIGHT:
        return SC_SIZE + WMSZ_BOTTOMRIGHT;
    default:
        return 0;
    }
}

LPCWSTR CursorFor(int hitCode) {
    switch (hitCode) {
    case HTLEFT:
    case HTRIGHT:
        return IDC_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return IDC_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return IDC_SIZENESW;
    default:
        return IDC_ARROW;
    }
}
