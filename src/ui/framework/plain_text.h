#pragma once

#include <QString>

class QLabel;
class QWidget;

// Texts a device sent (MAC, model, IP, firmware) are shown as they are, never interpreted: a
// device or a forger that sends markup must not get it drawn. A QLabel guesses rich text from
// the content unless told otherwise, and a tooltip always does.

// Sets the label's text with the format fixed to plain text.
void SetPlainLabelText(QLabel* label, const QString& text);
// Sets a tooltip that shows the text literally (escaped inside a rich-text tooltip, the only way
// a tooltip is never guessed).
void SetPlainToolTip(QWidget* widget, const QString& text);
