#include "web/PageAddresses.h"

#include "portal.h"

const wchar_t* const kTabPaths[kTabCount] = {L"/",        L"/kaifu", L"/game",
                                             L"/yunying", L"/libao", L"/kaice"};

std::wstring TabPageAddress(int tab) {
    if (tab < 0 || tab >= kTabCount)
        return std::wstring();
    return std::wstring(TOVO_BOX_SERVER) + kTabPaths[tab];
}

std::wstring FeedbackPageAddress() {
    return std::wstring(TOVO_BOX_SERVER) + L"/book";
}

std::wstring HomePageAddress() {
    return TOVO_HOME_PAGE;
}
