#include "ui/framework/dlg_builder_callback.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QWidget>

#include "ui/framework/translate_manager.h"

namespace {
QHash<QString, CDlgBuilderCallback::Factory>& Registry() {
  static QHash<QString, CDlgBuilderCallback::Factory> registry;
  return registry;
}
}  // namespace

CDlgBuilderCallback::CDlgBuilderCallback(FirstChance firstChance)
    : m_firstChance(std::move(firstChance)) {}

void CDlgBuilderCallback::RegisterClass(const QString& className, Factory factory) {
  Registry().insert(className, std::move(factory));
}

QWidget* CDlgBuilderCallback::CreateControl(const QString& className, QWidget* parent) {
  auto it = Registry().constFind(className);
  return it == Registry().constEnd() ? nullptr : (*it)(parent);
}

QString CDlgBuilderCallback::GetSkinDirectory() {
  return QCoreApplication::applicationDirPath() + QStringLiteral("/skin/");
}

QWidget* CDlgBuilderCallback::createWidget(const QString& className, QWidget* parent,
                                           const QString& name) {
  QWidget* w = m_firstChance ? m_firstChance(className, parent) : nullptr;
  if (!w) w = CreateControl(className, parent);
  if (w) {
    w->setObjectName(name);
    return w;
  }
  return QUiLoader::createWidget(className, parent, name);
}

QWidget* CDlgBuilderCallback::BuildLayout(const QString& fileName, QWidget* parent,
                                          FirstChance firstChance, QString* error) {
  const QString path = QDir::isAbsolutePath(fileName) ? fileName : GetSkinDirectory() + fileName;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("cannot open %1").arg(path);
    return nullptr;
  }
  CDlgBuilderCallback loader(std::move(firstChance));
  loader.setWorkingDirectory(
      QFileInfo(path).absoluteDir());  // image paths are relative to the skin
  QWidget* root = loader.load(&file, parent);
  if (!root) {
    if (error) *error = QStringLiteral("%1: %2").arg(path, loader.errorString());
    return nullptr;
  }
  // Style sheet images are relative to the skin folder, not to the working directory.
  QString sheet = root->styleSheet();
  if (sheet.contains(QLatin1String("url(img/"))) {
    const QString skinDir = QFileInfo(path).absolutePath() + QLatin1Char('/');
    root->setStyleSheet(sheet.replace(QLatin1String("url(img/"),
                                      QLatin1String("url(") + skinDir + QLatin1String("img/")));
  }
  CTranslateManager::GetInstance()->TranslateTree(root);  // layout texts are catalog keys
  return root;
}
