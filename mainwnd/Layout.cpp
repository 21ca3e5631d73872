#include "mainwnd/Layout.h"

ControlLayout ComputeLayout(int w, int h) {
    ControlLayout l = {};
    l.feedback = {w - 142, 1, w - 109, 41};
    l.min = {w - 109, 1, w - 76, 41};
    l.max = {w - 75, 1, w - 42, 41};
    l.close = {w - 41, 1, w - 8, 41};
    for (int i = 0; i < kTabCount; ++i)
        l.tab[i] = {166 + 97 * i, 8, 263 + 97 * i, 48};
    l.homeLink = {13, h - 22, 319, h - 9};
    return l;
}

RECT WebAreaFor(int cx, int cy) {
    return RECT{1, kHeaderHeight, cx - 1, cy - kBottomBarHeight};
}

POINT CentredPosition(int screenWidth, int screenHeight, int width, int height) {
    // Truncating division: an odd remainder goes to the right and bottom, and a screen smaller
    // than the window gives a negative corner (the window is never moved onto the screen).
    return POINT{(screenWidth - width) / 2, (screenHeight - height) / 2};
}

std::wstring DirectoryOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring ExtendedPath(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    return path;
}
