#include "mainwnd/AccessibleRules.h"

#include <oleacc.h>

namespace {

const int kFirstChildren[] = {kFeedbackButton, kMinButton, kMaxButton, kCloseButton, kHomeLink};
constexpr long kFirstTabChild = static_cast<long>(std::size(kFirstChildren)) + 1;

} // namespace

int ControlOfChild(long child) {
    if (child >= 1 && child < kFirstTabChild)
        return kFirstChildren[child - 1];
    if (child >= kFirstTabChild && child <= kPaintedChildCount)
        return kFirstTab + static_cast<int>(child - kFirstTabChild);
    return kNoControl;
}

long ChildOfControl(int id) {
    for (long child = 1; child <= kPaintedChildCount; ++child) {
        if (ControlOfChild(child) == id)
            return child;
    }
    return CHILDID_SELF;
}

AccessibleControl DescribeChild(const ControlStates& s, long child) {
    AccessibleControl c;
    int id = ControlOfChild(child);
    if (id == kNoControl)
        return c;
    if (id == kHomeLink) {
        c.role = ROLE_SYSTEM_LINK;
        c.state = STATE_SYSTEM_LINKED;
        c.nameId = IDS_HOME_LINK;
        c.actionId = IDS_ACTION_JUMP;
        return c;
    }
    int state = s.state[id];
    if (state == kHover)
        c.state |= STATE_SYSTEM_HOTTRACKED;
    if (id >= kFirstTab) {
        c.role = ROLE_SYSTEM_PAGETAB;
        c.state |= STATE_SYSTEM_SELECTABLE | (id == s.curTab ? STATE_SYSTEM_SELECTED : 0);
        c.nameId = kTabs[id - kFirstTab].nameId;
        c.actionId = IDS_ACTION_SWITCH;
        return c;
    }
    c.role = ROLE_SYSTEM_PUSHBUTTON;
    c.state |= state == kPressed ? STATE_SYSTEM_PRESSED : 0;
    c.actionId = IDS_ACTION_PRESS;
    switch (id) {
    case kFeedbackButton:
        c.nameId = IDS_FEEDBACK;
        break;
    case kMinButton:
        c.nameId = IDS_MINIMISE;
        break;
    case kMaxButton:
        c.nameId = s.maximized ? IDS_RESTORE : IDS_MAXIMISE;
        break;
    default:
        c.nameId = IDS_CLOSE;
        break;
    }
    return c;
}

RECT ChildRect(const ControlLayout& layout, long child) {
    int id = ControlOfChild(child);
    return id == kNoControl ? RECT{} : ControlRect(layout, id);
}

long ChildAt(const ControlLayout& layout, POINT pt) {
    return ChildOfControl(HitTestControls(layout, pt, MouseMessage::Move));
}

std::wstring ChildShortcut(long child) {
    int id = ControlOfChild(child);
    if (id < kFirstTab || id >= kControlCount)
        return std::wstring();
    int tab = id - kFirstTab;
    UINT command = ID_TAB_NUMBER_FIRST + static_cast<UINT>(tab);
    if (command > ID_TAB_NUMBER_LAST || TabForCommand(command, 0) != tab)
        return std::wstring();
    return L"Ctrl+" + std::to_wstring(tab + 1);
}
