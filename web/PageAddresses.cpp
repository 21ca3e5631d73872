#include "web/PageAddresses.h"

#include "portal.h"

std::wstring TabPageAddress(int tab) {
    if (tab < 0 || tab >= kTabCount)
        return std::wstring();
    return std::wstring(TOVO_BOX_SERVER) + kTabs[tab].path;
}

std::wstring FeedbackPageAddress() {
    return std::wstring(TOVO_BOX_SERVER) + L"/book";
}

std::wstring HomePageAddress() {
    return TOVO_HOME_PAGE;
}
