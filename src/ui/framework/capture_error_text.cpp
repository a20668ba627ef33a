#include "ui/framework/capture_error_text.h"

#include "ui/framework/translate_manager.h"

namespace {

// The translated key with its parts filled in one pass, so that a part reading "%1" stays.
QString Fill(const char* key, const std::vector<QString>& parts) {
  const QString text = TrText(QString::fromUtf8(key));
  switch (parts.size()) {
    case 0:
      return text;
    case 1:
      return text.arg(parts[0]);
    case 2:
      return text.arg(parts[0], parts[1]);
    default:
      return text.arg(parts[0], parts[1], parts[2]);
  }
}

}  // namespace

QString CaptureFailureMessage(const CaptureFailure& failure) {
  const CaptureFailureWords words = CaptureFailureWordsOf(failure);
  std::vector<QString> parts;
  for (const std::string& part : words.parts) parts.push_back(QString::fromStdString(part));
  QString reason;
  if (words.key != nullptr)
    reason = Fill(words.key, parts);
  else if (!parts.empty())
    reason = parts[0];
  if (!CaptureFailureNamesAdapter(failure)) return reason;
  return Fill(kCaptureOpenAdapterKey, {QString::fromStdString(failure.adapter), reason});
}
