#pragma once

// Builds control trees from the Qt Designer layout files of the skin folder and makes the
// system's own control classes for them. A layout names a custom class as a custom widget:
//
//   <widget class="ModelCombo" name="combo_model"/>   ...
//   <customwidgets><customwidget><class>ModelCombo</class><extends>QComboBox</extends>
//   </customwidget></customwidgets>
//
// and the class registers its factory once, before the first window is built:
//
//   CDlgBuilderCallback::RegisterClass("ModelCombo", [](QWidget* p) { return new CModelCombo(p);
//   });
//
// A window may also answer some class names itself (CBaseDlg::CreateControl); unknown names
// fall back to the class the layout says the custom widget extends.

#include <QString>
#include <QUiLoader>
#include <functional>

class CDlgBuilderCallback : public QUiLoader {
public:
  using Factory = std::function<QWidget*(QWidget* parent)>;
  using FirstChance = std::function<QWidget*(const QString& className, QWidget* parent)>;

  explicit CDlgBuilderCallback(FirstChance firstChance = {});

  // Registers (or replaces) the factory of a class name; exact, case-sensitive names.
  static void RegisterClass(const QString& className, Factory factory);
  // A new control of a registered class, or null.
  static QWidget* CreateControl(const QString& className, QWidget* parent);

  // Folder of the layout files: the skin folder next to the executable, with a trailing '/'.
  static QString GetSkinDirectory();

  // Builds `fileName` from the skin folder (or an absolute path) under `parent`, its texts
  // translated through the language catalog. Null on failure, with the loader's error text in
  // *error. Rows and pages built after their window: pass them to CNotifyHub::Attach.
  static QWidget* BuildLayout(const QString& fileName, QWidget* parent,
                              FirstChance firstChance = {}, QString* error = nullptr);

  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override;

private:
  FirstChance m_firstChance;
};
