#pragma once

// The Tab order of a window built from a layout. The layout's own order is reading order (top to
// bottom, left to right); two things are set on top of it, as desktop dialogs have them:
//   - the Cancel button ("btn_cancel", or "btn_no" in a question) comes last, right after the
//     primary button, whatever its place in the footer;
//   - Tab leaves a list or table instead of walking its cells (the arrow keys move inside it),
//     so a table in the middle of a dialog does not trap the keyboard.

class QWidget;

void ApplyDialogTabOrder(QWidget* root);
