#include "ui/device/device_summary.h"

#include <QStringList>

#include "ui/framework/translate_manager.h"

QString DeviceSummary(const DEVICE_ENTRY_T& device) {
  const struct {
    const char* label;
    const std::string* text;
  } lines[] = {
      {"Model", &device.model}, {"IP Address", &device.ip}, {"Room Number", &device.deviceId}};
  QStringList out;
  for (const auto& line : lines) {
    if (line.text->empty()) continue;
    out << TrText(QString::fromLatin1(line.label)) + QStringLiteral(": ") +
               QString::fromStdString(*line.text);
  }
  return out.join('\n');
}

QString QuestionAboutDevice(const QString& questionKey, const DEVICE_ENTRY_T& device) {
  const QString summary = DeviceSummary(device);
  const QString question = TrText(questionKey);
  return summary.isEmpty() ? question : question + QStringLiteral("\n\n") + summary;
}
