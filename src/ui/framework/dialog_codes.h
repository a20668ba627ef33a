#pragma once

// Close codes of every dialog, and the button sets of the message box.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

inline constexpr int MB_OK = 0;
inline constexpr int MB_OKCANCEL = 1;
inline constexpr int MB_YESNO = 4;
