// Hit testing, control states and sizing bands for any window size and pointer position that
// window messages can carry: a hit is a control (or the home link) that holds the point, states
// stay within their three values, and a sizing code is one of the eight bands near an edge.

#include "fuzz_util.h"
#include "mainwnd/Interaction.h"

namespace {

bool Inside(const RECT& rc, POINT pt) {
    return PtInRect(&rc, pt) != FALSE;
}

bool IsSizingCode(int code) {
    return code >= HTLEFT && code <= HTBOTTOMRIGHT;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Sizes come as 16-bit words, points as signed 16-bit coordinates.
    int width = in.ConsumeIntegralInRange<int>(0, 0xFFFF);
    int height = in.ConsumeIntegralInRange<int>(0, 0xFFFF);
    ControlLayout layout = ComputeLayout(width, height);
    SizingBands bands = CalcSizingBands(width, height);
    ControlStates states;

    while (in.remaining_bytes() >= 5) {
        POINT pt = {in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>()};
        int step = in.ConsumeIntegralInRange<int>(0, 5);

        MouseMessage message = static_cast<MouseMessage>(step % 3);
        int hit = HitTestControls(layout, pt, message);
        FUZZ_CHECK(hit >= kNoControl && hit <= kHomeLink);
        if (hit != kNoControl)
            FUZZ_CHECK(Inside(ControlRect(layout, hit), pt));

        MouseOutcome out;
        if (step == 0)
            out = MouseMove(states, layout, pt);
        else if (step == 1)
            out = MouseDown(states, layout, pt);
        else if (step == 2)
            out = MouseUp(states, layout, pt);
        else if (step == 3)
            out = MouseLeave(states, layout);
        else
            SelectTab(states, layout, in.ConsumeIntegralInRange<int>(0, kTabCount - 1));
        if (out.action == MouseAction::ShowTab) { // the window selects the tab a release chose
            FUZZ_CHECK(out.tab >= 0 && out.tab < kTabCount);
            SelectTab(states, layout, out.tab);
        }
        for (int id = kMinButton; id < kControlCount; ++id)
            FUZZ_CHECK(states.state[id] >= kNormal && states.state[id] <= kPressed);
        FUZZ_CHECK(states.hoverId >= kNoControl && states.hoverId <= kHomeLink);
        FUZZ_CHECK(states.curTab >= kFirstTab && states.curTab < kControlCount);
        FUZZ_CHECK(states.state[states.curTab] == kPressed);

        int code = SizingHitTest(bands, pt);
        FUZZ_CHECK(code == 0 || IsSizingCode(code));
        FUZZ_CHECK((SizeCommandFor(code) != 0) == (code != 0));
        FUZZ_CHECK((CursorFor(code) != IDC_ARROW) == (code != 0));
        // Only a point within three pixels of an edge sizes; every other one is the client's. A
        // window narrower than two bands (a minimised one has no client area) has no inside.
        if (width < 6 || height < 6)
            continue;
        bool nearEdge = pt.x < 3 || pt.y < 3 || pt.x >= width - 3 || pt.y >= height - 3;
        bool onWindow = pt.x >= -2 && pt.y >= -2 && pt.x < width + 2 && pt.y < height + 2;
        if (code != 0)
            FUZZ_CHECK(nearEdge && onWindow);
        else if (pt.x >= 0 && pt.y >= 0 && pt.x < width && pt.y < height)
            FUZZ_CHECK(!nearEdge);
    }
    return 0;
}
