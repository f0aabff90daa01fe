// The SDL half of the notice boxes of hal/MessageBox.h.
#pragma once

namespace HAL {
// Routes HAL::showMessageBox to SDL's simple message box (no owner window,
// one OK button). Call once at start-up; safe to call again.
void installSdlMessageBox();
} // namespace HAL
