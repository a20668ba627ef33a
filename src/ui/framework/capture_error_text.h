#pragma once

// The capture's error texts in the catalog's language, for the window. The transport and the
// capture helper's relay report them in English (the command line shows them so); here a text is
// matched against the English patterns below, which are the catalog keys, and rebuilt from the
// translated pattern with its parts filled in once. Parts that are texts of the same kind (the
// reason after "cannot open network adapter NAME:") are translated in turn; a text that matches
// no pattern (a message of the capture library) is shown as it is.

#include <QString>
#include <string>

QString TranslateCaptureError(const std::string& text);
