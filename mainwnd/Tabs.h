#pragma once
// The tabs, in their order on the window: each one's frame strip in the skin, the path of its page
// on the box server and the string resource of its name. The table's length is the number of
// tabs that the layout, hit testing, painting, the pages, the keys and the accessible object are
// made for: a tab more is a line more here (with its picture and its name).

#include "res/resource.h"

#include <iterator>

struct TabEntry {
    const wchar_t* picture;
    const wchar_t* path;
    unsigned nameId;
};

inline constexpr TabEntry kTabs[] = {
    {L"hot.png", L"/", IDS_TAB_HOT},
    {L"openg.png", L"/kaifu", IDS_TAB_OPENING},
    {L"game.png", L"/game", IDS_TAB_GAMES},
    {L"platform.png", L"/yunying", IDS_TAB_PLATFORMS},
    {L"package.png", L"/libao", IDS_TAB_GIFTS},
    {L"new.png", L"/kaice", IDS_TAB_TESTING},
};

constexpr int kTabCount = static_cast<int>(std::size(kTabs));
