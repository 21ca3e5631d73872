#include "mainwnd/Interaction.h"

#include <iterator>

namespace {

bool IsButton(int id) {
    return id >= kMinButton && id <= kFeedbackButton;
}

bool IsTab(int id) {
    return id >= kFirstTab && id < kControlCount;
}

void Append(std::vector<RECT>& to, const std::vector<RECT>& more) {
    to.insert(to.end(), more.begin(), more.end());
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
    static const int kMoveAndUpOrder[] = {
        kCloseButton, kMinButton, kMaxButton, kFeedbackButton, kHomeLink, 5, 6, 7, 8, 9, 10};
    // The press looks at the home link last, and only to keep it from moving the window.
    static const int kDownOrder[] = {
        kCloseButton, kMinButton, kMaxButton, kFeedbackButton, 5, 6, 7, 8, 9, 10, kHomeLink};
    const int* order = message == MouseMessage::Down ? kDownOrder : kMoveAndUpOrder;
    for (size_t i = 0; i < std::size(kDownOrder); ++i) {
        RECT rc = ControlRect(layout, order[i]);
        if (PtInRect(&rc, pt))
            return order[i];
    }
    return kNoControl;
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

MouseOutcome MouseUp(ControlStates& s, const ControlLayout& layout, POINT pt) {
    MouseOutcome out;
    int id = HitTestControls(layout, pt, MouseMessage::Up);
    if (id == kHomeLink) {
        out.action = MouseAction::HomePage;
    } else if (id == kNoControl) {
        out.invalidate = RefreshControlStates(s, layout);
    } else if (s.state[id] == kPressed) {
        s.state[id] = kNormal;
        if (IsTab(id)) {
            out.action = MouseAction::ShowTab;
            out.tab = id - kFirstTab;
            out.invalidate = SelectTab(s, layout, out.tab);
            Append(out.invalidate, RefreshControlStates(s, layout));
            return out;
        }
        out.invalidate.push_back(ControlRect(layout, id));
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
        default:
            out.action = MouseAction::Feedback;
            break;
        }
    }
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
