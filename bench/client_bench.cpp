// The client side by side with two baseline window programs (bench/baseline.cpp: a bare window,
// and the same window with a page in the web browser control), under one warm Wine server:
// start-up to a painted window and to the first page's request, an "Auto" start, peak working
// set, one full paint, the repaint of one tab (also at the scale of a 144-DPI monitor) and the
// first paint of a new window, the message loop
// while the box server never answers, Exit with a report in flight, and the executable's size.
// Prints a table of medians, 90th percentiles and the client's ratios to each baseline.
//
// usage: client_bench.exe [runs=15] [probe seconds=20]

#include "app/GameClient.h"
#include "mainwnd/Layout.h"
#include "mainwnd/MainWnd.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "support/test_util.h"
#include "web/PageAddresses.h"
#include "window/main_wnd_probe.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 10000; // every wait of the bench ends after this
constexpr DWORD kPaintWaitMs = 5000;
constexpr DWORD kExitWaitMs = 3000;
constexpr COLORREF kBaselineColour = RGB(0x1F, 0x6F, 0xB4);

LARGE_INTEGER g_freq;

double Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(g_freq.QuadPart);
}

struct Stats {
    double median = -1, p90 = -1;
    size_t n = 0;
};

Stats Of(std::vector<double> v) {
    Stats s;
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.p90 = v[std::min(v.size() - 1, (v.size() * 9 + 9) / 10 - 1)];
    s.n = v.size();
    return s;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// Where the header shows nothing but its background strip: right of the logo, clear of every
// tab and caption button.
POINT HeaderSamplePoint() {
    ControlLayout l = ComputeLayout(kDefaultWidth, kDefaultHeight);
    std::vector<RECT> controls = {l.feedback, l.min, l.max, l.close};
    controls.insert(controls.end(), std::begin(l.tab), std::end(l.tab));
    for (LONG y : {8L, 4L, 30L}) {
        for (LONG x = 160; x < kDefaultWidth - 160; x += 4) {
            POINT pt = {x, y};
            bool clear = std::none_of(controls.begin(), controls.end(), [&](const RECT& rc) {
                RECT grown = {rc.left - 4, rc.top - 4, rc.right + 4, rc.bottom + 4};
                return PtInRect(&grown, pt) != FALSE;
            });
            if (clear)
                return pt;
        }
    }
    return POINT{kDefaultWidth / 2, 8};
}

// The colour of the header strip at row y: top.png's column 4 (the strip is 8 pixels wide and
// stretched across the window, 45 rows into 46).
COLORREF SkinHeaderColour(const std::wstring& skinDir, LONG y) {
    Gdiplus::Bitmap top((skinDir + L"top.png").c_str(), FALSE);
    Gdiplus::Color c;
    if (top.GetLastStatus() != Gdiplus::Ok || top.GetPixel(4, std::min(44L, y * 45 / 46), &c))
        return CLR_INVALID;
    return RGB(c.GetR(), c.GetG(), c.GetB());
}

// The window's pixel at one point, as the screen shows it. Wine's PrintWindow hands this
// process's device context to the window's own process, where it means nothing, so the bench
// reads the X display's screen instead (under Xvfb, where nothing covers the window).
COLORREF ScreenPixel(HWND w, POINT pt) {
    RECT rc;
    if (!GetWindowRect(w, &rc))
        return CLR_INVALID;
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, rc.left + pt.x, rc.top + pt.y);
    ReleaseDC(nullptr, screen);
    return c;
}

// Tray icons as Wine's X11 driver shows them without a system tray: one child window each.
// Named callbacks: a lambda converts only to the default calling convention, not to CALLBACK.
BOOL CALLBACK CountTrayIcon(HWND w, LPARAM count) {
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    *reinterpret_cast<int*>(count) += wcscmp(cls, L"__winex11_tray_icon") == 0;
    return TRUE;
}

BOOL CALLBACK CountTrayIconsOf(HWND top, LPARAM count) {
    EnumChildWindows(top, CountTrayIcon, count);
    return TRUE;
}

int TrayIconCount() {
    int count = 0;
    EnumWindows(CountTrayIconsOf, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct Program {
    const wchar_t* name;
    std::wstring exe;
    std::wstring args;         // before "Auto", when that is added
    COLORREF header;           // what the header sample shows once painted
    bool paints = true;        // cleared when the warm-up never saw the header painted
    bool requestsPage = false; // asks the box server for the first tab's page
};

struct Start {
    double answered = -1;  // own window exists and its message loop answers
    double painted = -1;   // visible, and the header sample shows the skin
    double tray = -1;      // window answers and the tray shows one more icon
    double requested = -1; // the box server has the first page's request
    double peakMb = -1;
    double exitMs = -1;
};

class Launch {
public:
    Launch(const std::wstring& exe, const std::wstring& args) {
        std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
        std::wstring dir = exe.substr(0, exe.find_last_of(L'\\'));
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        t0 = Now();
        if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                            &si, &pi))
            pi = {};
    }
    ~Launch() {
        if (pi.hProcess) {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(pi.hProcess, 1);
                WaitForSingleObject(pi.hProcess, kWaitMs);
            }
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
    bool Ended(DWORD ms) const { return WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0; }
    // Exit from the tray menu, timed to the end of the process; -1 when it did not end.
    double Exit(HWND w) {
        double t = Now();
        PostMessageW(w, WM_COMMAND, ID_EXIT, 0);
        return Ended(kExitWaitMs) ? Now() - t : -1;
    }
    double PeakMb() const {
        PROCESS_MEMORY_COUNTERS pmc = {};
        pmc.cb = sizeof pmc;
        return GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc)
                   ? static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0)
                   : -1;
    }
    PROCESS_INFORMATION pi = {};
    double t0 = 0;
};

// One start, timed from outside the process; every wait has a limit. With a server, the time the
// first page's request reaches it too.
Start TimeStart(const Program& p, bool autoStart, POINT sample, LoopbackServer* server = nullptr) {
    Start s;
    const int icons = TrayIconCount();
    const bool waitRequest = server && p.requestsPage && !autoStart;
    if (waitRequest)
        server->ClearRequests();
    Launch run(p.exe, autoStart ? L"Auto" : p.args);
    if (!run.pi.hProcess)
        return s;
    HWND w = nullptr;
    const bool waitPaint = !autoStart && p.paints;
    double deadline = run.t0 + (waitPaint || autoStart ? kPaintWaitMs : kWaitMs);
    while (Now() < deadline && !run.Ended(0)) {
        if (!w)
            w = testutil::FindMarkedWindowOf(run.pi.dwProcessId);
        DWORD_PTR r;
        if (w && s.answered < 0 && SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &r))
            s.answered = Now() - run.t0;
        if (waitPaint && w && s.painted < 0 && IsWindowVisible(w) &&
            Near(ScreenPixel(w, sample), p.header, 24))
            s.painted = Now() - run.t0;
        if (autoStart && s.answered >= 0 && s.tray < 0 && TrayIconCount() > icons)
            s.tray = Now() - run.t0;
        if (waitRequest && s.requested < 0 && server->GetsOf("/") > 0)
            s.requested = Now() - run.t0;
        if (s.answered >= 0 && (waitPaint ? s.painted >= 0 : !autoStart || s.tray >= 0) &&
            (!waitRequest || s.requested >= 0))
            break;
        Sleep(1);
    }
    if (w) {
        Sleep(300); // the start-up's own work, the report included, is over
        s.peakMb = run.PeakMb();
        s.exitMs = run.Exit(w);
    }
    return s;
}

// Largest delay of a WM_NULL round trip, one every 50 ms for the given time.
double ProbeLoop(const Program& p, double seconds, const LoopbackServer& server) {
    Launch run(p.exe, L"");
    HWND w = nullptr;
    double deadline = run.t0 + kWaitMs;
    while (!(w = testutil::FindMarkedWindowOf(run.pi.dwProcessId)) && Now() < deadline)
        Sleep(5);
    if (!w)
        return -1;
    size_t before = server.RequestCount();
    double waitReport = Now() + 3000; // the report now hangs on the silent server, if one is sent
    while (server.RequestCount() == before && Now() < waitReport)
        Sleep(5);
    double worst = 0, end = Now() + seconds * 1000;
    while (Now() < end) {
        double t = Now();
        DWORD_PTR r;
        if (!SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &r))
            return kWaitMs;
        worst = std::max(worst, Now() - t);
        Sleep(50);
    }
    run.Exit(w);
    return worst;
}

// Exit from the tray menu while the report hangs on a silent server.
double ExitWithReportInFlight(const Program& p, LoopbackServer& server) {
    Launch run(p.exe, L"");
    size_t before = server.RequestCount();
    HWND w = nullptr;
    double deadline = run.t0 + kWaitMs;
    while (Now() < deadline && (!w || server.RequestCount() == before)) {
        if (!w)
            w = testutil::FindMarkedWindowOf(run.pi.dwProcessId);
        Sleep(5);
    }
    return w && server.RequestCount() > before ? run.Exit(w) : -1;
}

// The repaints of one tab as the pointer comes onto it and leaves it again, 100 of each after 10
// warm-ups; the mouse rules run untimed. Before each paint the thread takes what waits in its
// queue and then waits, as a message loop does after a mouse move: Wine copies the last frame to
// the X screen in that wait (about 0.02 ms for a tab), and in a paint only when the thread has not
// waited for 50 ms, which would time Wine's copy of everything drawn since instead (about 1 ms).
void TimeTabRepaints(CMainWnd& wnd, std::vector<double>& out, const PixelMap& map = PixelMap()) {
    ControlLayout l = ComputeLayout(kDefaultWidth, kDefaultHeight);
    const RECT tab = map.ToPixels(l.tab[3]);
    const LPARAM on = MAKELPARAM((tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    const LPARAM off = MAKELPARAM(tab.left + 20, tab.bottom + 300); // the body, below the tab
    wnd.UpdateWindow();
    // Only moves that leave something to repaint count (a message taken on the way, a leave say,
    // may have repainted already).
    for (int i = 0, timed = 0; timed < 220 && i < 2000; ++i) {
        wnd.SendMessage(WM_MOUSEMOVE, 0, i % 2 ? off : on);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0,
                            PM_REMOVE | PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
        if (!GetUpdateRect(wnd.m_hWnd, nullptr, FALSE))
            continue;
        double t = Now();
        wnd.UpdateWindow();
        GdiFlush();
        if (timed++ >= 20)
            out.push_back(Now() - t);
    }
}

// Full paints of a window, 200 after 10 warm-ups.
void TimeFullPaints(CMainWnd& wnd, std::vector<double>& out) {
    for (int i = 0; i < 210; ++i) {
        double t = Now();
        RedrawWindow(wnd.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        GdiFlush();
        if (i >= 10)
            out.push_back(Now() - t);
    }
}

struct PaintTimes {
    std::vector<double> first, paint, blit, tab, tabLarge, paint144, tab144;
};

// The first paint of a new main window in this process, as start-up shows it; then full paints
// of it, the repaints of one tab at the default size and at 1280 x 1024, the same at the scale of
// a 144-DPI monitor, and a bare BitBlt of the window's size.
void TimePaints(PaintTimes& times) {
    CMainWnd wnd;
    if (!IsWindow(wnd.m_hWnd))
        return;
    wnd.ShowWindow(SW_SHOW);
    double t0 = Now();
    wnd.UpdateWindow();
    GdiFlush();
    times.first.push_back(Now() - t0);
    TimeFullPaints(wnd, times.paint);
    TimeTabRepaints(wnd, times.tab);
    wnd.SetWindowPos(nullptr, 0, 0, 1280, 1024, SWP_NOZORDER);
    wnd.UpdateWindow();
    TimeTabRepaints(wnd, times.tabLarge);
    // As on a 144-DPI monitor with room for the whole window: 1.5 times the default size.
    CMainWndProbe probe(wnd);
    probe.SetScale(144, RECT{0, 0, 4000, 3000});
    wnd.SetWindowPos(nullptr, 0, 0, 1506, 1043, SWP_NOZORDER);
    wnd.UpdateWindow();
    TimeFullPaints(wnd, times.paint144);
    TimeTabRepaints(wnd, times.tab144, probe.Map());
    probe.SetScale(96, RECT{0, 0, 4000, 3000});
    wnd.SetWindowPos(nullptr, 0, 0, kDefaultWidth, kDefaultHeight, SWP_NOZORDER);
    wnd.UpdateWindow();
    HDC dc = GetDC(wnd.m_hWnd);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, kDefaultWidth, kDefaultHeight);
    HGDIOBJ old = SelectObject(mem, bitmap);
    for (int i = 0; i < 210; ++i) {
        double t = Now();
        BitBlt(dc, 0, 0, kDefaultWidth, kDefaultHeight, mem, 0, 0, SRCCOPY);
        GdiFlush();
        if (i >= 10)
            times.blit.push_back(Now() - t);
    }
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(wnd.m_hWnd, dc);
    wnd.DestroyWindow();
}

double FileKb(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)
               ? static_cast<double>(a.nFileSizeLow) / 1024.0
               : -1;
}

// The client against the bare baseline and, where measured, the baseline with a page.
void Row(const char* what, const char* unit, const Stats& c, const Stats& b, const Stats& w,
         const char* note = "") {
    auto cell = [](double v) {
        static char buf[8][32];
        static int i = 0;
        char* out = buf[i++ % 8];
        if (v < 0)
            std::snprintf(out, 32, "%9s", "-");
        else
            std::snprintf(out, 32, "%9.1f", v);
        return out;
    };
    auto ratio = [&c](const Stats& base) {
        static char buf[2][32];
        static int i = 0;
        char* out = buf[i++ % 2];
        if (c.median >= 0 && base.median > 0)
            std::snprintf(out, 32, "%8.2fx", c.median / base.median);
        else
            std::snprintf(out, 32, "%9s", "-");
        return out;
    };
    std::printf("| %-34s | %-4s | %s | %s | %s | %s | %s | %s | %s | %s | %s\n", what, unit,
                cell(c.median), cell(c.p90), cell(b.median), cell(b.p90), ratio(b), cell(w.median),
                cell(w.p90), ratio(w), note);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    QueryPerformanceFrequency(&g_freq);
    const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 15;
    const double probeSeconds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 20;
    const std::wstring dir = DirectoryOf(AfxGetModuleFileName());

    Gdiplus::GdiplusStartupInput gdiplusInput;
    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartup(&gdiplus, &gdiplusInput, nullptr);
    const POINT sample = HeaderSamplePoint();
    Program client = {L"client", dir + L"TovoBox.exe",
                      L"",       SkinHeaderColour(dir + L"skins\\Common\\", sample.y),
                      true,      true};
    Program base = {L"baseline", dir + L"bench_baseline.exe", L"", kBaselineColour};
    Program page = {L"baseline with a page",
                    dir + L"bench_baseline_page.exe",
                    TabPageAddress(0),
                    kBaselineColour,
                    true,
                    true};

    LoopbackServer server(TOVO_TEST_PORT);
    if (!server.Start()) {
        std::fprintf(stderr, "loopback port %d is taken\n", TOVO_TEST_PORT);
        return 1;
    }

    // Warm-up (the first window of this process pays what only a process's first paint pays,
    // as at start-up), then the three programs interleaved.
    PaintTimes warm, times;
    TimePaints(warm);
    times.first = warm.first;
    client.paints = TimeStart(client, false, sample).painted >= 0;
    base.paints = TimeStart(base, false, sample).painted >= 0;
    page.paints = TimeStart(page, false, sample).painted >= 0;
    std::vector<double> cPainted, bPainted, wPainted, cAnswered, bAnswered, wAnswered, cAuto, cTray,
        cPeak, bPeak, wPeak, cRequested, wRequested;
    int notPainted = 0;
    for (int i = 0; i < runs; ++i) {
        Start c = TimeStart(client, false, sample, &server);
        Start b = TimeStart(base, false, sample);
        Start w = TimeStart(page, false, sample, &server);
        Start a = TimeStart(client, true, sample);
        notPainted += c.painted < 0;
        cPainted.push_back(c.painted);
        bPainted.push_back(b.painted);
        wPainted.push_back(w.painted);
        cRequested.push_back(c.requested);
        wRequested.push_back(w.requested);
        cAnswered.push_back(c.answered);
        bAnswered.push_back(b.answered);
        wAnswered.push_back(w.answered);
        cAuto.push_back(a.answered);
        cTray.push_back(a.tray);
        cPeak.push_back(c.peakMb);
        bPeak.push_back(b.peakMb);
        wPeak.push_back(w.peakMb);
    }

    server.SetRecordRequests(false);
    TimePaints(times);

    server.SetResponse("/box.php", LoopbackResponse::Silent());
    std::vector<double> cProbe = {ProbeLoop(client, probeSeconds, server)};
    std::vector<double> bProbe = {ProbeLoop(base, probeSeconds, server)};
    std::vector<double> cExit, bExit, wExit;
    for (int i = 0; i < std::min(runs, 5); ++i) {
        cExit.push_back(ExitWithReportInFlight(client, server));
        bExit.push_back(TimeStart(base, false, sample).exitMs);
        wExit.push_back(TimeStart(page, false, sample).exitMs);
    }
    server.Stop();

    char note[96];
    std::printf("| %-34s | %-4s | %9s | %9s | %9s | %9s | %9s | %9s | %9s | %9s |\n", "measure",
                "unit", "client", "p90", "bare", "p90", "ratio", "page", "p90", "ratio");
    std::snprintf(note, sizeof note, "%d of %d runs not painted within %lu s", notPainted, runs,
                  kPaintWaitMs / 1000);
    const Stats none;
    Row("start -> visible and painted", "ms", Of(cPainted), Of(bPainted), Of(wPainted),
        notPainted ? note : "");
    Row("start -> first page requested", "ms", Of(cRequested), none, Of(wRequested));
    Row("start -> window answers", "ms", Of(cAnswered), Of(bAnswered), Of(wAnswered));
    Row("\"Auto\" start -> window answers", "ms", Of(cAuto), Of(bAnswered), Of(wAnswered));
    Row("\"Auto\" start -> tray icon added", "ms", Of(cTray), Of(bAnswered), Of(wAnswered),
        Of(cTray).n ? "" : "no tray icon seen");
    Stats cp = Of(cPeak), bp = Of(bPeak), wp = Of(wPeak);
    Row("peak working set", "MB", cp, bp, wp);
    Stats extra = {cp.median - bp.median, cp.p90 - bp.p90, 0};
    Row("  client minus baseline", "MB", extra, none, none);
    const Stats paint = Of(times.paint);
    Row("one full paint 1004x695 vs BitBlt", "ms", paint, Of(times.blit), none);
    Row("repaint of one tab, hover on/off", "ms", Of(times.tab), paint, none,
        "against the full paint");
    Row("  the same at 1280x1024", "ms", Of(times.tabLarge), paint, none);
    Row("one full paint at 144 DPI, 1506x1043", "ms", Of(times.paint144), paint, none,
        "against the full paint at 96");
    Row("  repaint of one tab at 144 DPI", "ms", Of(times.tab144), paint, none);
    Row("first paint of a new window", "ms", Of(times.first), paint, none,
        "against the full paint: first of the process, then of a second window");
    Row("message loop, silent server (max)", "ms", Of(cProbe), Of(bProbe), none);
    Stats ce = Of(cExit);
    std::snprintf(note, sizeof note, "client: report in flight; %zu of %zu ended within %lu s",
                  ce.n, cExit.size(), kExitWaitMs / 1000);
    Row("Exit (40006) -> process end", "ms", ce, Of(bExit), Of(wExit), note);
    Stats size = {FileKb(client.exe), -1, 1}, bsize = {FileKb(base.exe), -1, 1},
          wsize = {FileKb(page.exe), -1, 1};
    Row("executable size (this build)", "KB", size, bsize, wsize);
    Stats release = {FileKb(dir + L"..\\..\\build-release\\bin\\TovoBox.exe"), -1, 1};
    if (release.median >= 0)
        Row("executable size (32-bit release)", "KB", release, none, none);
    Gdiplus::GdiplusShutdown(gdiplus);
    return 0;
}
