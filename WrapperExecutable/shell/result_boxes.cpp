// The failure and success boxes; in silent mode nobody could dismiss them, so none is shown.
#include "shell/result_boxes.h"

namespace launcher {

std::wstring FailureBoxText(std::uint32_t code) {
  return L"Could not resolve the issue.\n\nPlease contact Technical Support. Error code: " +
         std::to_wstring(code);
}

void ShowFailureBox(LauncherState& state, std::uint32_t code) {
  if (state.silentMode) return;
  state.platform.ShowMessageBox(FailureBoxText(code), kBoxCaption, BoxIcon::kError);
}

void ShowSuccessBox(LauncherState& state) {
  if (state.silentMode) return;
  state.platform.ShowMessageBox(L"Halvern script completed.", kBoxCaption, BoxIcon::kNone);
}

}  // namespace launcher
