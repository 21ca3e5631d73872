#pragma once
// What a screen reader is told of the painted controls, as plain rules over the layout and the
// control states. The main window's accessible object answers from these.

#include "mainwnd/Interaction.h"

#include <string>

// The painted controls are the children 1 to kPaintedChildCount of the window's accessible
// object: the caption buttons as they stand from left to right, the home link, then the tabs in
// their order. The page windows follow them.
constexpr long kPaintedChildCount = 5 + kTabCount;

// The control (kHomeLink for the link) a child id stands for; kNoControl for none.
int ControlOfChild(long child);
// The child id of a control; 0, the object itself, for none.
long ChildOfControl(int id);

struct AccessibleControl {
    long role = 0;       // ROLE_SYSTEM_...; 0 for a child id that stands for no control
    long state = 0;      // STATE_SYSTEM_...
    unsigned nameId = 0; // string resources of the name and of the default action
    unsigned actionId = 0;
};
AccessibleControl DescribeChild(const ControlStates& s, long child);
// The child's rectangle in client coordinates; empty for none.
RECT ChildRect(const ControlLayout& layout, long child);
// The painted child at a client point; 0 where there is none.
long ChildAt(const ControlLayout& layout, POINT pt);
// The keys that select a tab ("Ctrl+1" ...); empty for every other child.
std::wstring ChildShortcut(long child);
