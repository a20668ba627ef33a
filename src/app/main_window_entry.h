#pragma once

// Builds the main window, runs it modally and returns its close code. The one place that names
// the main window class. -1 after an error box when the window's layout cannot be built.
int RunMainWindow();
