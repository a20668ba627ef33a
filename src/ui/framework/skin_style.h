#pragma once

// Applies the skin's style sheet (skin/style.qss) and the application icon
// (skin/images/app_icon.png) to the running application. Relative url(...) paths in the
// style sheet are taken from the skin folder. false when the style sheet cannot be read.
bool ApplySkinStyle();
