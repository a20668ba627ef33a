#pragma once

#include <QString>

// What the windows that list devices share: the main window, the static-address dialogs and the
// address assignment read the control core's table again at the same pace and format their
// counts from the catalog the same way.

// How often a device list reads the control core's table again.
constexpr int kRefreshPeriodMs = 1000;

// printf-style count text of the catalog with one integer: %d, %i and %u take the number, %% is
// a percent sign, any other conversion is left as it is (a catalog never crashes us).
QString FormatCount(const QString& format, int count);
