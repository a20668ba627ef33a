#pragma once

#include <QComboBox>
#include <QPointer>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/framework/base_dlg.h"

class CModelComboDlg;
class QLineEdit;
class QListWidget;

// The model filter of the main window: entry 0 "All" (value ""), then one entry per model name
// of the catalog config/ModelName.ini and per model a listed device reports, sorted ignoring
// case, each entry's value being the name. The chosen name shows whole, or elided with the whole
// name as tooltip. Opening it shows CModelComboDlg, a drop-down with a search box, instead of the
// plain list; the catalog is read again each time it opens.
class CModelCombo : public QComboBox {
  Q_OBJECT
public:
  explicit CModelCombo(QWidget* parent = nullptr);
  ~CModelCombo() override;

  // Makes layouts create this class for the class name "ModelCombo".
  static void Register();

  // Test seam: where the model names come from (model name -> firmware prefix, ordered by
  // name). Empty restores the catalog file config/ModelName.ini.
  using CatalogReader = std::function<std::map<std::string, std::string>()>;
  static void SetCatalogReader(CatalogReader reader);
  // Test seam: the models the devices report. Empty restores the control core's device table.
  using ReportedModelsReader = std::function<std::vector<std::string>()>;
  static void SetReportedModelsReader(ReportedModelsReader reader);

  // The value of the selected entry; "" when nothing is selected.
  QString GetSelectedValue() const;
  // Selects the first entry whose value equals `value` exactly; with notify the selection is
  // announced as "itemselect" when it changes. No match leaves the selection as it is.
  void SelectByValue(const QString& value, bool notify);
  // Reloads the entries from the catalog and keeps the selected model when it still exists,
  // else selects "All"; announces "itemselect" when the selected value changes.
  void RebuildItems();

  CModelComboDlg* GetDropDown() const { return m_dropDown; }

  void showPopup() override;
  void hidePopup() override;

protected:
  // A language change shows the entries in the new language (their values stay).
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void AddEntries();
  void OnDropDownFinished();

  QPointer<CModelComboDlg> m_dropDown;
};

// The drop-down of CModelCombo ("ModelSelectDlg.xml"): a search box that filters the entries by
// substring ignoring case, and the list of the combo's entries; choosing one selects the same
// index in the combo and closes the drop-down with 1, losing the focus closes it with 2. From the
// search box, Down and Up move through the entries it leaves, Enter chooses the marked one (the
// first match after typing) and Escape closes.
class CModelComboDlg : public CBaseDlg {
  Q_OBJECT
public:
  explicit CModelComboDlg(CModelCombo* owner);

  // Builds the window and shows it below the combo (above it when there is no room below).
  void ShowDropDown();

  // Where the drop-down goes: below the combo at `space` pixels, or above it when its bottom
  // would pass the work area's bottom. A width of 0 or less takes the combo's width.
  static QRect DropDownRect(const QRect& comboOnScreen, const QSize& dropSize, int space,
                            const QRect& workArea);

  QListWidget* GetList() const { return m_list; }
  QLineEdit* GetSearchBox() const { return m_searchBox; }

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("ModelSelectDlg.xml"); }
  void InitWindow() override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnWindowInit(TNotifyMsg& msg);
  void OnSearchTextChanged(TNotifyMsg& msg);
  void OnListItemSelect(TNotifyMsg& msg);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void MarkRow(int row);                       // makes `row` current without choosing it
  int NextShownRow(int from, int step) const;  // -1 when none
  void EnsureVisible(int index);
  int WidthForNames() const;  // the width that shows the longest entry whole

  QListWidget* m_list = nullptr;
  QLineEdit* m_searchBox = nullptr;
  QPointer<CModelCombo> m_owner;
};
