#pragma once

// Small pieces the two settings views share.

#include <QString>

class QComboBox;
class QWidget;

// Adds a combo entry whose shown text is the catalog's text for `key` (and follows a language
// change through RetranslateItems) and whose value is `value`.
void AddTranslatedItem(QComboBox* combo, const QString& key, const QString& value);
// Shows every entry added by AddTranslatedItem in the catalog's current language.
void RetranslateItems(QComboBox* combo);
// The untranslated text of an entry: its key when AddTranslatedItem added it, else its text.
QString ItemKeyText(const QComboBox* combo, int index);

// Ends the dialog that hosts `view` with `code`.
void CloseHostDialog(QWidget* view, int code);
