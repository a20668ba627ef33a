#include "ui/framework/plain_text.h"

#include <QLabel>
#include <QWidget>

void SetPlainLabelText(QLabel* label, const QString& text) {
  if (label == nullptr) return;
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
}

void SetPlainToolTip(QWidget* widget, const QString& text) {
  if (widget == nullptr) return;
  widget->setToolTip(text.isEmpty() ? QString()
                                    : QStringLiteral("<span>") + text.toHtmlEscaped() +
                                          QStringLiteral("</span>"));
}
