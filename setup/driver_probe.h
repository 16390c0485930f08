// Finding the driver's driver_test for the dialog's Test button.
//
// Exports: load_driver_test.
#pragma once

#include <string>

#include "support/dsn_settings.h"

/// Loads the driver and returns its driver_test, or null with `why` set.
/// Tried in order: the "Driver" value of `driver_name` in odbcinst.ini (the
/// file the driver manager loads, so an already loaded driver is shared),
/// libcvconnect.so beside this setup library, then the bare name. The
/// driver stays loaded (it keeps TLS state and threads).
[[nodiscard]] DriverTestFn load_driver_test(const std::string &driver_name, std::string *why);
