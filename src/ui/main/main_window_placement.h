#pragma once

// Where the main window opens: at the size the user left it last time (per user, in the
// desktop's configuration folder), or the first time at about 80 % of the screen's free area;
// centred either way.
// A window the size of the layout file would be small on a large screen and cut model names.

class QWidget;

#include <QRect>
#include <QSize>

inline constexpr double kFirstOpenScreenShare = 0.8;
// Below this the columns of the list cannot show their texts in every language with the device
// panel open: a small screen (1366x768) gives the window more than the share, up to all of it.
inline constexpr QSize kComfortableSize{1280, 720};

// The size of the first opening on a screen whose free area is `area`.
QSize FirstOpenSize(const QRect& area, const QSize& minimum);

void PlaceMainWindow(QWidget* window);
void RememberMainWindow(const QWidget* window);
