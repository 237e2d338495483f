// click_latency: how long the wizard takes to answer a click. It finds the wizard (a dialog
// whose caption holds TITLE) on its method page, then clicks Next and Back in turn, CLICKS
// times each, and times every click from posting it to the moment the other page's title
// shows and the window has nothing left to paint.
//
//   click_latency TITLE [CLICKS]
//
// The clicks are spread over the animation's period (a click that lands just after one of
// its ticks is the one that waits longest when the queue is not looked at), and the title is
// read from the window system's copy of the control's text, so that waiting for it sends
// nothing to the wizard and cannot wake it. Prints each side's median and worst and a line
// for scripts:
//   result: clicks next_median=MS next_worst=MS back_median=MS back_worst=MS count=N
// Exit status: 0, or 1 when the wizard was not found or a page did not come.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kNextId = 1;
constexpr int kBackId = 5;
constexpr int kTitleId = 1011;
constexpr DWORD kFindLimitMs = 60000;
constexpr double kPageLimitMs = 10000;
constexpr int kAnimationPeriodMs = 150;

struct Search {
  const char* title;
  HWND found;
};

BOOL CALLBACK MatchWizard(HWND window, LPARAM data) {
  Search* search = reinterpret_cast<Search*>(data);
  char className[64] = "";
  char caption[512] = "";
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, caption, sizeof caption);
  if (IsWindowVisible(window) && strcmp(className, "#32770") == 0 &&
      strstr(caption, search->title) != nullptr && GetDlgItem(window, kTitleId) != nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindWizard(const char* title) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < kFindLimitMs) {
    Search search = {title, nullptr};
    EnumWindows(MatchWizard, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    Sleep(50);
  }
  return nullptr;
}

LARGE_INTEGER gFrequency;

double NowMs() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(gFrequency.QuadPart);
}

// The control's text as the window system holds it: for a window of another process this
// is read without a message to that process.
void TitleOf(HWND control, char* text, int size) {
  text[0] = '\0';
  GetWindowTextA(control, text, size);
}

// Posts a click on the button and waits until the title is no longer `before` and neither
// the wizard nor its title has anything to paint; the milliseconds taken, or -1.
double TimeClick(HWND wizard, int button, const char* before) {
  HWND control = GetDlgItem(wizard, button);
  HWND title = GetDlgItem(wizard, kTitleId);
  double start = NowMs();
  if (control == nullptr || !PostMessageA(control, BM_CLICK, 0, 0)) return -1;
  char text[256];
  for (;;) {
    TitleOf(title, text, sizeof text);
    if (strcmp(text, before) != 0 && !GetUpdateRect(wizard, nullptr, FALSE) &&
        !GetUpdateRect(title, nullptr, FALSE)) {
      return NowMs() - start;
    }
    if (NowMs() - start > kPageLimitMs) return -1;
    Sleep(1);
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: click_latency TITLE [CLICKS]\n");
    return 2;
  }
  int clicks = argc > 2 ? atoi(argv[2]) : 50;
  if (clicks < 1) clicks = 1;
  QueryPerformanceFrequency(&gFrequency);
  HWND wizard = FindWizard(argv[1]);
  if (wizard == nullptr) {
    fprintf(stderr, "click_latency: no wizard with \"%s\" in its caption\n", argv[1]);
    return 1;
  }
  // Let the first page settle: its paint and the animation's first ticks.
  Sleep(1000);

  std::vector<double> next;
  std::vector<double> back;
  HWND title = GetDlgItem(wizard, kTitleId);
  for (int i = 0; i < 2 * clicks; ++i) {
    // A pause that moves the click to another point of the animation's period each time.
    Sleep(static_cast<DWORD>(200 + (i * 37) % kAnimationPeriodMs));
    bool forward = i % 2 == 0;
    char before[256];
    TitleOf(title, before, sizeof before);
    double ms = TimeClick(wizard, forward ? kNextId : kBackId, before);
    if (ms < 0) {
      fprintf(stderr, "click_latency: click %d (%s) brought no new page\n", i + 1,
              forward ? "Next" : "Back");
      return 1;
    }
    (forward ? next : back).push_back(ms);
  }
  double nextMedian = Median(next);
  double backMedian = Median(back);
  double nextWorst = *std::max_element(next.begin(), next.end());
  double backWorst = *std::max_element(back.begin(), back.end());
  printf("Next: median %.1f ms, worst %.1f ms (%d clicks)\n", nextMedian, nextWorst, clicks);
  printf("Back: median %.1f ms, worst %.1f ms (%d clicks)\n", backMedian, backWorst, clicks);
  printf(
      "result: clicks next_median=%.1f next_worst=%.1f back_median=%.1f back_worst=%.1f "
      "count=%d\n",
      nextMedian, nextWorst, backMedian, backWorst, clicks);
  return 0;
}
