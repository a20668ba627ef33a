#pragma once

// Builds the main window, runs it modally and returns its close code. The one place that names
// the main window class.
int RunMainWindow();
