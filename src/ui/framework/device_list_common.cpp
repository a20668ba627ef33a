#include "ui/framework/device_list_common.h"

QString FormatCount(const QString& format, int count) {
  QString out;
  out.reserve(format.size() + 8);
  for (int i = 0; i < format.size(); ++i) {
    QChar c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    QChar next = format[i + 1];
    if (next == '%') {
      out += '%';
      ++i;
    } else if (next == 'd' || next == 'i' || next == 'u') {
      out += QString::number(count);
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}
