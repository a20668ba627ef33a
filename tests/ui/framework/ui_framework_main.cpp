#include <gtest/gtest.h>

#include <QApplication>

#include "ui/framework/skin_style.h"

namespace {
QtMessageHandler g_defaultHandler = nullptr;
// The offscreen platform reports window-manager features it lacks; that is noise here.
void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.contains(QLatin1String("This plugin does not support"))) return;
  g_defaultHandler(type, context, text);
}
}  // namespace

int main(int argc, char** argv) {
  g_defaultHandler = qInstallMessageHandler(FilterMessages);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ApplySkinStyle();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
