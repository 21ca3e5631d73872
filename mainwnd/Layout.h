#pragma once
// Window geometry as plain rules, shared by the window's handlers and the tests.

#include "framework/plain_types.h"
#include "mainwnd/Tabs.h"

#include <string>

constexpr int kDefaultWidth = 1004;
constexpr int kDefaultHeight = 695;
// The header strip (logo, caption buttons, tabs) and the bottom bar; the pages lie between them.
constexpr int kHeaderHeight = 46;
constexpr int kBottomBarHeight = 30;

struct ControlLayout {
    RECT feedback;
    RECT min;
    RECT max;
    RECT close;
    RECT tab[kTabCount];
    RECT homeLink;
};

// Caption buttons keep their distance from the right edge, tabs are fixed from the left and the
// home link keeps its distance from the bottom.
ControlLayout ComputeLayout(int width, int height);
// Where the page windows lie for a client area of cx by cy.
RECT WebAreaFor(int cx, int cy);
// Top-left corner that centres a window on a screen; no clamping, so a small screen gives
// negative coordinates.
POINT CentredPosition(int screenWidth, int screenHeight, int width, int height);
// The part of a path up to and including its last backslash; empty without one.
std::wstring DirectoryOf(const std::wstring& path);
// The extended-length form ("\\?\C:\..." or "\\?\UNC\server\...") of a path too long for the
// plain file functions; shorter paths come back unchanged.
std::wstring ExtendedPath(const std::wstring& path);
