#pragma once

// Small layout documents written to a temporary folder for framework tests.

#include <QFile>
#include <QString>
#include <QTemporaryDir>

class TestLayouts {
public:
  // Writes `xml` (the body inside <ui>) as `fileName`; returns the absolute path.
  QString Write(const QString& fileName, const QString& widgetXml) {
    const QString path = m_dir.filePath(fileName);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
      file.write(
          QStringLiteral(
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\">\n%1\n</ui>\n")
              .arg(widgetXml)
              .toUtf8());
    }
    return path;
  }

private:
  QTemporaryDir m_dir;
};
