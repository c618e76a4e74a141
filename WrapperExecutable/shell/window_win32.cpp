// Win32 only: the main window's procedure, one small handler per message it acts on.
#include "shell/window_win32.h"

#include <commctrl.h>

namespace launcher {
namespace {

LauncherState* g_state = nullptr;
HWND g_progressBar = nullptr;

// The window is neither closed nor destroyed: it stays until the worker hides it or the process
// ends, and the worker notices the request at its next block read.
LRESULT OnClose() {
  if (g_state != nullptr) RequestCancel(*g_state);
  return 0;
}

LRESULT OnExtractorDone() {
  PostQuitMessage(0);
  return 0;
}

// The message carries no value: the newest one is read, so queued messages all show it. The
// bar is moved after the lock has been left.
LRESULT OnExtractorProgress() {
  if (g_state == nullptr) return 0;
  const std::int32_t position = ReadProgress(*g_state);
  SendMessageW(g_progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  return 0;
}

}  // namespace

void AttachWindowState(LauncherState* state) { g_state = state; }

void AttachProgressBar(HWND progressBar) { g_progressBar = progressBar; }

LRESULT CALLBACK ExtractorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      return OnClose();
    case kMessageDone:
      return OnExtractorDone();
    case kMessageProgress:
      return OnExtractorProgress();
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace launcher
