// The main window's mouse and key rules, and what a screen reader is told of its controls, without
// a window: sequences of messages and what they leave.

#include "mainwnd/AccessibleRules.h"
#include "mainwnd/Interaction.h"
#include "mainwnd/Scale.h"

#include <gtest/gtest.h>

#include <oleacc.h>

#include <iterator>
#include <set>
#include <tuple>

namespace {

enum Msg { Move, Down, Up, Leave };
struct Step {
    Msg msg;
    POINT pt;
};

const ControlLayout kLayout = ComputeLayout(kDefaultWidth, kDefaultHeight);
const POINT kClose{979, 20}, kMin{911, 20}, kMax{945, 20}, kFeedback{878, 20};
const POINT kHome{100, 680}, kBody{500, 300}, kLogo{50, 20}, kBar{500, 680}, kGap{928, 20};
POINT Tab(int i) {
    return POINT{214 + 97 * i, 28};
}

// As the window applies an outcome: a tab chosen is selected by the one rule for every way.
MouseOutcome Send(ControlStates& s, const Step& step) {
    switch (step.msg) {
    case Move:
        return MouseMove(s, kLayout, step.pt);
    case Down:
        return MouseDown(s, kLayout, step.pt);
    case Up: {
        MouseOutcome out = MouseUp(s, kLayout, step.pt);
        if (out.action == MouseAction::ShowTab) {
            std::vector<RECT> more = SelectTab(s, kLayout, out.tab);
            out.invalidate.insert(out.invalidate.end(), more.begin(), more.end());
        }
        return out;
    }
    default:
        return MouseLeave(s, kLayout);
    }
}

std::set<std::tuple<LONG, LONG, LONG, LONG>> RectSet(const std::vector<RECT>& rects) {
    std::set<std::tuple<LONG, LONG, LONG, LONG>> set;
    for (const RECT& r : rects)
        set.emplace(r.left, r.top, r.right, r.bottom);
    return set;
}

enum Repaint { Nothing, Own, AllTen };

} // namespace

TEST(MouseRules, SequencesLeaveTheseStatesActionsAndRepaints) {
    using A = MouseAction;
    struct Case {
        const char* name;
        bool maximized;
        std::vector<Step> steps;
        // After the last step: states other than normal (by id), hover, selection, action, and
        // what that step repaints (Own: the rectangle of the control under its point).
        std::vector<std::pair<int, int>> states;
        int hover, curTab;
        MouseAction action;
        Repaint repaint;
    } cases[] = {
        // clang-format off
        {"hover a button", false, {{Move, kClose}}, {{3, 1}, {5, 2}}, 3, 5, A::None, AllTen},
        {"press it", false, {{Move, kMin}, {Down, kMin}}, {{1, 2}, {5, 2}}, 1, 5, A::None, Own},
        {"release it", false, {{Move, kMin}, {Down, kMin}, {Up, kMin}}, {{5, 2}}, 1, 5,
         A::Minimise, Own},
        {"close", false, {{Move, kClose}, {Down, kClose}, {Up, kClose}}, {{5, 2}}, 3, 5,
         A::Close, Own},
        {"feedback", false, {{Move, kFeedback}, {Down, kFeedback}, {Up, kFeedback}}, {{5, 2}}, 4, 5,
         A::Feedback, Own},
        {"maximise", false, {{Move, kMax}, {Down, kMax}, {Up, kMax}}, {{5, 2}}, 2, 5,
         A::Maximise, Own},
        {"restore", true, {{Move, kMax}, {Down, kMax}, {Up, kMax}}, {{5, 2}}, 2, 5,
         A::Restore, Own},
        {"press and slide off", false, {{Move, kClose}, {Down, kClose}, {Move, kBody}, {Up, kBody}},
         {{5, 2}}, 0, 5, A::None, AllTen},
        {"slide back only hovers", false,
         {{Move, kClose}, {Down, kClose}, {Move, kBody}, {Move, kClose}, {Up, kClose}},
         {{3, 1}, {5, 2}}, 3, 5, A::None, Nothing},
        {"double-click acts once", false,
         {{Move, kClose}, {Down, kClose}, {Up, kClose}, {Up, kClose}}, {{5, 2}}, 3, 5,
         A::None, Nothing},
        {"press tab 2, release on tab 3", false,
         {{Move, Tab(2)}, {Down, Tab(2)}, {Move, Tab(3)}, {Up, Tab(3)}}, {{5, 2}, {8, 1}}, 8, 5,
         A::None, Nothing},
        {"click tab 3", false, {{Move, Tab(3)}, {Down, Tab(3)}, {Up, Tab(3)}}, {{8, 2}}, 8, 8,
         A::ShowTab, AllTen},
        {"press on the selected tab", false, {{Move, Tab(0)}, {Down, Tab(0)}}, {{5, 2}}, 0, 5,
         A::None, Nothing},
        {"release on the selected tab", false, {{Move, Tab(0)}, {Down, Tab(0)}, {Up, Tab(0)}},
         {{5, 2}}, 0, 5, A::ShowTab, AllTen},
        {"another tab's hover drops", false, {{Move, Tab(1)}, {Move, Tab(0)}}, {{5, 2}}, 6, 5,
         A::None, Own},
        {"home link wherever the press began", false, {{Move, Tab(2)}, {Down, Tab(2)}, {Up, kHome}},
         {{5, 2}, {7, 2}}, 7, 5, A::HomePage, Nothing},
        {"press on the home link", false, {{Down, kHome}}, {{5, 2}}, 0, 5, A::None, Nothing},
        {"press on the logo", false, {{Down, kLogo}}, {{5, 2}}, 0, 5, A::MoveWindow, Nothing},
        {"press on the bottom bar", false, {{Down, kBar}}, {{5, 2}}, 0, 5, A::MoveWindow, Nothing},
        {"the gap between buttons", false, {{Move, kMin}, {Move, kGap}}, {{5, 2}}, 0, 5,
         A::None, AllTen},
        {"leaving", false, {{Move, Tab(4)}, {Down, Tab(4)}, {Leave, {}}}, {{5, 2}}, 0, 5,
         A::None, AllTen},
        // clang-format on
    };
    std::vector<RECT> ten = {kLayout.close, kLayout.min, kLayout.max, kLayout.feedback};
    ten.insert(ten.end(), std::begin(kLayout.tab), std::end(kLayout.tab));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControlStates s;
        s.maximized = c.maximized;
        MouseOutcome out;
        for (const Step& step : c.steps)
            out = Send(s, step);
        int expected[kControlCount] = {};
        for (auto [id, state] : c.states)
            expected[id] = state;
        for (int id = 1; id < kControlCount; ++id)
            EXPECT_EQ(expected[id], s.state[id]) << "control " << id;
        EXPECT_EQ(c.hover, s.hoverId);
        EXPECT_EQ(c.curTab, s.curTab);
        EXPECT_EQ(static_cast<int>(c.action), static_cast<int>(out.action));
        EXPECT_EQ(c.action == A::ShowTab ? c.curTab - kFirstTab : -1, out.tab);
        EXPECT_FALSE(s.maximized); // only the system command sets it
        const Step& last = c.steps.back();
        std::vector<RECT> own = {
            ControlRect(kLayout, HitTestControls(kLayout, last.pt, MouseMessage::Move))};
        if (last.msg == Move) // the tab whose hover was dropped
            own = {kLayout.tab[1]};
        std::vector<RECT> none;
        EXPECT_EQ(RectSet(c.repaint == Nothing  ? none
                          : c.repaint == AllTen ? ten
                                                : own),
                  RectSet(out.invalidate));
    }
}

TEST(MouseRules, LeaveIsRequestedOnceAndTheHandShowsOnlyOverTheHomeLink) {
    ControlStates s;
    EXPECT_TRUE(MouseMove(s, kLayout, kBody).requestLeave);
    EXPECT_FALSE(MouseMove(s, kLayout, kClose).requestLeave);
    EXPECT_TRUE(MouseMove(s, kLayout, kHome).handCursor);
    EXPECT_EQ(kCloseButton, s.hoverId); // the link keeps the hover as it was
    EXPECT_FALSE(MouseMove(s, kLayout, kBody).handCursor);
    MouseLeave(s, kLayout);
    EXPECT_TRUE(MouseMove(s, kLayout, kBody).requestLeave);
    ControlStates fresh; // a leave that was not asked for changes nothing
    EXPECT_TRUE(MouseLeave(fresh, kLayout).invalidate.empty());
}

// Of the ten controls a hover change asks for, only those whose frame changed are repainted.
TEST(MouseRules, OnlyControlsWhoseStateChangedNeedTheirPixelsAgain) {
    ControlStates s;
    ControlStates before = s;
    MouseMove(s, kLayout, Tab(3));
    EXPECT_EQ(RectSet({kLayout.tab[3]}), RectSet(ChangedControls(before, s, kLayout)));
    before = s;
    MouseMove(s, kLayout, kClose);
    EXPECT_EQ(RectSet({kLayout.tab[3], kLayout.close}),
              RectSet(ChangedControls(before, s, kLayout)));
    before = s;
    MouseMove(s, kLayout, kBody);
    MouseMove(s, kLayout, kLogo);
    EXPECT_EQ(RectSet({kLayout.close}), RectSet(ChangedControls(before, s, kLayout)));
}

TEST(TabKeys, NextAndPreviousWrapAndANumberSelectsItsTabWhenThereIsOne) {
    const struct {
        UINT command;
        int current, count, tab;
    } cases[] = {
        // clang-format off
        {ID_TAB_NEXT, 0, 6, 1}, {ID_TAB_NEXT, 5, 6, 0}, {ID_TAB_NEXT, 5, 7, 6},
        {ID_TAB_PREV, 3, 6, 2}, {ID_TAB_PREV, 0, 6, 5}, {ID_TAB_PREV, 0, 7, 6},
        {ID_TAB_NUMBER_FIRST, 4, 6, 0}, {ID_TAB_NUMBER_FIRST + 5, 0, 6, 5},
        {ID_TAB_NUMBER_FIRST + 6, 0, 6, -1}, {ID_TAB_NUMBER_FIRST + 6, 0, 7, 6},
        {ID_TAB_NUMBER_LAST + 1, 0, 12, -1}, {ID_EXIT, 0, 6, -1},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.tab, TabForCommand(c.command, c.current, c.count))
            << c.command << " from " << c.current << " of " << c.count;
}

// Each painted child is found under the pointer and tells the state its control is in.
TEST(AccessibleRules, ChildrenFollowTheControlsUnderThePointerAndTheirStates) {
    ControlStates s;
    SelectTab(s, kLayout, 4);
    s.state[kCloseButton] = kPressed;
    s.state[kFirstTab + 2] = kHover;
    s.maximized = true;
    for (long child = 1; child <= kPaintedChildCount; ++child) {
        SCOPED_TRACE(child);
        RECT rc = ChildRect(kLayout, child);
        EXPECT_EQ(child, ChildAt(kLayout, POINT{(rc.left + rc.right) / 2, rc.top + 1}));
        EXPECT_EQ(child, ChildOfControl(ControlOfChild(child)));
        AccessibleControl c = DescribeChild(s, child);
        int id = ControlOfChild(child);
        long expected = id == kCloseButton    ? STATE_SYSTEM_PRESSED
                        : id == kFirstTab + 2 ? STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_HOTTRACKED
                        : id == kFirstTab + 4 ? STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_SELECTED
                        : id == kHomeLink     ? STATE_SYSTEM_LINKED
                        : id >= kFirstTab     ? STATE_SYSTEM_SELECTABLE
                                              : 0;
        EXPECT_EQ(expected, c.state);
    }
    EXPECT_EQ(IDS_RESTORE, DescribeChild(s, ChildOfControl(kMaxButton)).nameId);
    EXPECT_EQ(0, ChildAt(kLayout, kBody));
    EXPECT_EQ(0, ChildAt(kLayout, kGap));
    for (long none : {0L, kPaintedChildCount + 1, -1L}) {
        EXPECT_EQ(kNoControl, ControlOfChild(none));
        EXPECT_EQ(0, DescribeChild(s, none).role);
        EXPECT_EQ(L"", ChildShortcut(none));
    }
}

TEST(SizingRules, CornersWinOverEdgesAndEachBandHasItsCommandAndCursor) {
    const int w = kDefaultWidth, h = kDefaultHeight;
    SizingBands b = CalcSizingBands(w, h);
    struct Case {
        POINT pt;
        int code;
        WPARAM command;
        LPCWSTR cursor;
    } cases[] = {
        // clang-format off
        {{0, 0}, HTTOPLEFT, 0xF004, IDC_SIZENWSE},   {{2, 2}, HTTOPLEFT, 0xF004, IDC_SIZENWSE},
        {{-2, -2}, HTTOPLEFT, 0xF004, IDC_SIZENWSE}, {{w - 1, 0}, HTTOPRIGHT, 0xF005, IDC_SIZENESW},
        {{w + 1, 2}, HTTOPRIGHT, 0xF005, IDC_SIZENESW},
        {{0, h - 1}, HTBOTTOMLEFT, 0xF007, IDC_SIZENESW},
        {{w - 3, h - 3}, HTBOTTOMRIGHT, 0xF008, IDC_SIZENWSE},
        {{2, 300}, HTLEFT, 0xF001, IDC_SIZEWE},      {{w - 3, 300}, HTRIGHT, 0xF002, IDC_SIZEWE},
        {{500, 2}, HTTOP, 0xF003, IDC_SIZENS},       {{500, h - 1}, HTBOTTOM, 0xF006, IDC_SIZENS},
        {{3, 300}, 0, 0, IDC_ARROW},   {{w - 4, 300}, 0, 0, IDC_ARROW},
        {{500, 3}, 0, 0, IDC_ARROW},   {{500, h}, 0, 0, IDC_ARROW},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pt.x << "," << c.pt.y);
        int code = SizingHitTest(b, c.pt);
        EXPECT_EQ(c.code, code);
        EXPECT_EQ(c.command, SizeCommandFor(code));
        EXPECT_EQ(c.cursor, CursorFor(code));
    }
    EXPECT_EQ(IDC_ARROW, CursorFor(HTCLIENT));
}

// One scale per monitor: its DPI / 96, or what fits the work area, never below 1; the map from
// design units to pixels stretches the design size over the pixels and is the identity at 1.
TEST(ScaleRules, TheScaleFitsTheWorkAreaAndMapsDesignUnitsOntoThePixels) {
    struct Case {
        unsigned dpi;
        int workWidth, workHeight;
        double scale;
    } cases[] = {
        {96, 1280, 1024, 1.0},   {96, 800, 600, 1.0},     {72, 1280, 1024, 1.0},
        {120, 1280, 1024, 1.25}, {144, 1920, 1200, 1.5},  {144, 1920, 1032, 1.48},
        {144, 1280, 1024, 1.27}, {192, 1280, 1024, 1.27}, {192, 3840, 2110, 2.0},
        {144, 1004, 600, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi " << c.workWidth << "x" << c.workHeight);
        EXPECT_DOUBLE_EQ(c.scale, ChooseScale(c.dpi, c.workWidth, c.workHeight));
    }
    EXPECT_DOUBLE_EQ(1.25, ChooseScale(144, 1280, 1024, 25, 0)); // 1255 wide without the frame

    PixelMap unit(1.0, 1004, 695);
    EXPECT_TRUE(unit.Unit());
    EXPECT_EQ(1004, unit.Width());
    EXPECT_EQ(kLayout.close.left, unit.ToPixels(kLayout.close).left);
    EXPECT_EQ(kClose.x, unit.ToDesign(kClose).x);

    PixelMap map(1.5, 1506, 1043); // 695 x 1.5 = 1042.5: one row more than the design's
    EXPECT_EQ(1004, map.Width());
    EXPECT_EQ(695, map.Height());
    EXPECT_EQ(1506, map.Pixels(1004));
    const ControlLayout l = ComputeLayout(map.Width(), map.Height());
    for (int id = kMinButton; id < kControlCount; ++id) {
        RECT px = map.ToPixels(ControlRect(l, id));
        POINT centre = {(px.left + px.right) / 2, (px.top + px.bottom) / 2};
        EXPECT_EQ(id, HitTestControls(l, map.ToDesign(centre), MouseMessage::Move)) << id;
        EXPECT_NEAR(1.5 * (ControlRect(l, id).right - ControlRect(l, id).left), px.right - px.left,
                    1.0);
    }
    RECT whole = map.ToPixels(RECT{0, 0, map.Width(), map.Height()});
    EXPECT_EQ(1506, whole.right);
    EXPECT_EQ(1043, whole.bottom);

    // Above 1 a skin's @2x picture stands in for its 1x one only at exactly twice the size.
    EXPECT_FALSE(WantsDoubleSkin(1.0));
    EXPECT_TRUE(WantsDoubleSkin(1.25));
    EXPECT_EQ(L"fackback@2x.png", DoubleSkinFile(L"fackback.png"));
    EXPECT_TRUE(IsDoubleSkinPicture(33, 120, 66, 240));
    const unsigned wrong[][4] = {{33, 120, 66, 239},
                                 {33, 120, 33, 120},
                                 {0, 0, 0, 0},
                                 {30000, 30000, 60000, 60000},
                                 {0x80000000u, 1, 0, 2}};
    for (const auto& w : wrong)
        EXPECT_FALSE(IsDoubleSkinPicture(w[0], w[1], w[2], w[3])) << w[0] << "x" << w[1];
}
