#include "ui/framework/capture_error_text.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "ui/framework/translate_manager.h"

namespace {

// The English texts as the transport and the capture relay build them, with %1, %2 where the
// adapter, the helper's path, the group or a reason goes.
constexpr const char* kCaptureErrorPatterns[] = {
    "No network adapter detected, please install npcap firstly.",
    "cannot open network adapter %1: %2",
    "capturing needs membership in the group %1: run sudo usermod -aG %1 $USER, then log in again",
    "the capture helper %1 is missing",
    "cannot start the capture helper %1: %2",
    "no rights to capture: the capture helper %1 lacks cap_net_raw (the package grants it; in a "
    "build tree scripts/setup.sh does)",
    "the capture helper %1 did not start in time",
    "the capture helper %1 ended without opening the capture",
    "cannot create the capture helper's socket: %1",
    "the capture library could not be loaded",
    "cannot list capture devices: %1",
};

struct Pattern {
  QString key;
  QRegularExpression match;
  int parts = 0;
};

// "the capture helper %1 is missing" -> ^the capture helper (.+?) is missing$; a placeholder
// that comes again must match the same text again.
Pattern Compile(const QString& key) {
  static const QRegularExpression placeholder(QStringLiteral("%([1-9])"));
  QString expression = QStringLiteral("^");
  int parts = 0;
  qsizetype done = 0;
  for (auto it = placeholder.globalMatch(key); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    expression += QRegularExpression::escape(key.mid(done, m.capturedStart() - done));
    const int number = m.captured(1).toInt();
    expression += number > parts ? QStringLiteral("(.+?)") : QStringLiteral("\\%1").arg(number);
    parts = std::max(parts, number);
    done = m.capturedEnd();
  }
  expression += QRegularExpression::escape(key.mid(done)) + QStringLiteral("$");
  return {key, QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption),
          parts};
}

const std::vector<Pattern>& Patterns() {
  static const std::vector<Pattern> patterns = [] {
    std::vector<Pattern> all;
    for (const char* key : kCaptureErrorPatterns) all.push_back(Compile(QString::fromUtf8(key)));
    return all;
  }();
  return patterns;
}

QString Translate(const QString& text, int depth) {
  if (depth > 2) return text;
  for (const Pattern& pattern : Patterns()) {
    const QRegularExpressionMatch m = pattern.match.match(text);
    if (!m.hasMatch()) continue;
    const QString translated = TrText(pattern.key);
    if (pattern.parts == 0) return translated;
    if (pattern.parts == 1) return translated.arg(m.captured(1));
    // One pass over both placeholders, so a part that reads "%1" stays as it is.
    return translated.arg(m.captured(1), Translate(m.captured(2), depth + 1));
  }
  return text;
}

}  // namespace

QString TranslateCaptureError(const std::string& text) {
  return Translate(QString::fromStdString(text), 0);
}
