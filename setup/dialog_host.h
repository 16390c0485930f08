// Hosting the Setup dialog inside whatever process loaded the library.
//
// The application's own QApplication is used when there is one (on its
// thread only); otherwise one is created on first use and never destroyed,
// and the library is linked -z nodelete so a host's dlclose cannot unload
// the code Qt still points into. Without a usable display (DISPLAY,
// WAYLAND_DISPLAY and QT_QPA_PLATFORM all unset, or naming a display no one
// listens on) no dialog is shown, rather than letting Qt abort the host.
//
// Exports: DialogOutcome, run_setup_dialog, dialog_possible.
#pragma once

#include "setup/dsn_form.h"
#include "setup/setup_dialog.h"

enum class DialogOutcome { kOk, kCancel, kUnavailable };

/// Whether a dialog could be shown from this thread now.
[[nodiscard]] bool dialog_possible();

/// Shows the Setup dialog modally; kUnavailable when no dialog can be shown.
[[nodiscard]] DialogOutcome run_setup_dialog(DsnForm *form, SetupMode mode, DsnSettings *settings);
