// Win32 only: the launcher's main window procedure and the state it works on.
#pragma once

#include <windows.h>

#include "shell/launcher.h"

namespace launcher {

// Tells the window procedure which launcher state its messages act on. Called by the entry
// routine before the main window is created.
void AttachWindowState(LauncherState* state);
// Tells the window procedure which progress bar WM_EXTRACTOR_PROGRESS moves. Called once the bar
// exists, before the worker starts.
void AttachProgressBar(HWND progressBar);

// Window procedure of the class "ZorvanExtractor": a close request asks the worker to cancel
// (the window stays), WM_EXTRACTOR_DONE ends the message loop, WM_EXTRACTOR_PROGRESS moves the
// bar to the newest progress value. Returns 0 for these three, DefWindowProcW's result otherwise.
LRESULT CALLBACK ExtractorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace launcher
