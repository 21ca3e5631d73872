#include "web/BrowserFeatures.h"

#include <windows.h>

#include <urlmon.h>

namespace {

// Hardening that leaves pop-ups, new windows and downloads alone: new windows go to the default
// browser, and the engine's own blocking would come first. Left off for the same reason: window
// and pop-up restrictions, download restriction, MIME handling (renames downloaded files).
const INTERNETFEATURELIST kProcessFeatures[] = {
    FEATURE_DISABLE_NAVIGATION_SOUNDS, // no click on every navigation
    FEATURE_ZONE_ELEVATION,            // a page never moves itself into a more trusted zone
    FEATURE_RESTRICT_ACTIVEXINSTALL,   // no control install prompt from a page
    FEATURE_LOCALMACHINE_LOCKDOWN,     // local content runs locked down
    FEATURE_MIME_SNIFFING,             // what is served as text or a picture never runs as a page
    FEATURE_SAFE_BINDTOOBJECT,         // disabled (kill-bit) controls stay disabled
    FEATURE_VALIDATE_NAVIGATE_URL,     // malformed addresses are refused
    FEATURE_OBJECT_CACHING,            // no access to another domain's cached objects
    FEATURE_UNC_SAVEDFILECHECK,        // files from network shares keep their zone
};

} // namespace

void EnableBrowserFeatures() {
    static const bool s_bDone = [] {
        for (INTERNETFEATURELIST feature : kProcessFeatures)
            CoInternetSetFeatureEnabled(feature, SET_FEATURE_ON_PROCESS, TRUE);
        return true;
    }();
    (void)s_bDone;
}
