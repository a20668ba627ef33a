#pragma once

#include <QString>

// Puts the text on the system clipboard as plain text. false for an empty text or when no
// clipboard is available (no application object).
bool CopyToClipboard(const QString& text);
