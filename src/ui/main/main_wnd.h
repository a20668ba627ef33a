#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "ui/framework/base_dlg.h"
#include "ui/main/device_list_item.h"
#include "ui/main/device_site_marks.h"

class CDeviceInfoView;
class CDeviceListFeed;
class CDeviceListModel;
struct DEVICE_LIST_LOOK_T;
class CDeviceSelection;
class CDeviceListView;
class CListColumns;
class CLiveSearch;
class CModelCombo;
class QAbstractButton;
class QDate;
class QLabel;
class QLineEdit;
class QListView;

// The program's main window ("MainWnd.xml"): lists the devices the control core has found,
// refreshed every second from the core's device table, with a discovery every 5 seconds;
// search, model filter, sort by IP or model, copy of IP and MAC, CSV export, about box.
class CMainWnd : public CBaseDlg {
  Q_OBJECT
public:
  // The window's internal name (never shown: the title is the product name).
  static constexpr const char* kWindowName = "IPScannerMainWnd";

  CMainWnd();
  ~CMainWnd() override;

  // Test seams. The start-up hook replaces the adapter check, the start of the control core and
  // the running-instance mark (tests run without capture rights and beside a real instance);
  // the save hook replaces the file dialog of the export and the open hook the image choice of
  // the upgrade; both return the chosen path ("" = cancelled). Empty functions restore the
  // defaults.
  using StartupHook = std::function<void(CMainWnd*)>;
  using SaveFileHook = std::function<QString(QWidget* parent)>;
  using OpenFileHook = std::function<QString(QWidget* parent)>;
  static void SetStartupHook(StartupHook hook);
  static void SetSaveFileHook(SaveFileHook hook);
  static void SetOpenFileHook(OpenFileHook hook);

  // Steps of the start-up that the default hook runs: asks for an adapter when the choice is
  // open (more or fewer than one adapter and neither a stored address nor a stored adapter),
  // then starts the control core. false when the question ended without a choice (a signal):
  // then nothing is started or sent, and the window closes as soon as it shows.
  bool CheckAdapterSetting();
  static bool AdapterChoiceNeeded(size_t adapterCount, const std::string& ipSetting,
                                  const std::string& interfaceSetting = std::string());

  // Brings the rows up to date with the control core's device table.
  void RefreshDeviceList();

  CDeviceListModel* GetDeviceListModel() const { return m_model; }
  CDeviceListView* GetDeviceListView() const { return m_listView; }
  const CDeviceSiteMarks& GetSiteMarks() const { return m_siteMarks; }
  QString GetSearchText() const { return m_searchText; }
  CDeviceInfoView* GetDeviceInfoView() const { return m_pDeviceInfoView; }

  // The selected devices among the rows in view, in row order: what the selection's actions
  // (context menu) work on. SelectedMacs gives their MAC texts.
  std::vector<DEVICE_ENTRY_T> SelectedDevices() const;
  std::vector<std::string> SelectedMacs() const;
  CDeviceSelection* GetSelection() const { return m_selection; }

  // The shared count format (ui/framework/device_list_common.h), kept here for callers of the
  // window's own name.
  static QString FormatCount(const QString& format, int count);
  // What the empty list says (the catalog key): while the first discovery round runs and no
  // device is known, that it searches; when devices are known but the search or the model
  // filter hides them all, that none matches; otherwise that no device is online.
  static QString EmptyListText(bool firstRound, size_t devicesKnown);
  // The file types of the export's save dialog and of the firmware image choice, in the
  // catalog's language.
  static QString ExportFileFilter();
  static QString FirmwareFileFilter();
  // The file name the export proposes: "ipscanner-devices-2026-12-10.csv".
  static QString ProposedExportName(const QDate& day);

protected:
  QString GetLayoutFileName() const override { return QStringLiteral("MainWnd.xml"); }
  void InitWindow() override;
  void OnLanguageChanged() override;
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  IPS_DECLARE_MESSAGE_MAP()

private:
  void OnTimer(TNotifyMsg& msg);
  void OnBtnMiniClicked(TNotifyMsg& msg);
  void OnBtnSearchClicked(TNotifyMsg& msg);
  void OnBtnRefreshClicked(TNotifyMsg& msg);
  void OnBtnExportClicked(TNotifyMsg& msg);
  void OnBtnReportClicked(TNotifyMsg& msg);
  void OnBtnIpSortClicked(TNotifyMsg& msg);
  void OnBtnModelSortClicked(TNotifyMsg& msg);
  void OnBtnStaticIpClicked(TNotifyMsg& msg);
  void OnBtnSystemSettingClicked(TNotifyMsg& msg);
  void OnBtnShowDeviceInfoClicked(TNotifyMsg& msg);
  void OnItemDeviceClick(TNotifyMsg& msg);
  void OnComboModelItemSelect(TNotifyMsg& msg);
  void OnBtnAboutClicked(TNotifyMsg& msg);
  void OnBtnProblemsClicked(TNotifyMsg& msg);
  void OnBtnIpCopyClicked(int row);
  void OnBtnMacCopyClicked(int row);
  void OnBtnUpgradeClicked(int row);
  void OnBtnAssignAddressesClicked(TNotifyMsg& msg);
  void OnBadgeClicked(int row, const QPoint& globalPos);

  // The devices "Assign addresses…" works on: the ones listed now.
  std::vector<DEVICE_ENTRY_T> DevicesToAssign() const;
  // The devices a "Fix…" on `device`'s badge moves: it, and every device sharing its IP.
  std::vector<DEVICE_ENTRY_T> DevicesToFix(const DEVICE_ENTRY_T& device) const;
  void OpenAssignDialog(std::vector<DEVICE_ENTRY_T> devices);

  void Search();
  void ToggleSort(QAbstractButton* button, QAbstractButton* other);
  void UpdateSortImage(QAbstractButton* button);
  void SyncSortStates();
  void UpdateDeviceCount();
  void EmptyList();
  void HideDeviceInfo();
  void AlignListHeader();
  void CopyRowText(int row, bool mac);
  void ShowCopiedNear(int row, bool mac);     // the confirmation next to the copy button
  void UpdateEmptyText(size_t devicesKnown);  // the empty list's text for the current state
  std::vector<DEVICE_ENTRY_T> ReadSiteState();
  void UpdateProblemsButton();
  // The timer's refresh: the feed looks at the control core off the UI thread, and OnLook
  // applies what changed. A direct RefreshDeviceList does it all at once and starts a new
  // generation, so that a look asked for before it is dropped.
  void AskForLook();
  void OnLook(std::shared_ptr<DEVICE_LIST_LOOK_T> look);
  // Hands the rows of looks to the model a slice per turn of the event loop, so that a
  // discovery filling a large list never holds the UI thread long.
  void ApplyWaitingRows();
  void QueueApplyRows();
  bool SliceJustRan() const;
  // After the rows changed: column widths (measured in a later turn of the event loop with
  // fitLater), counts, the problems button, the empty list's text.
  void ShowListState(int rowsBefore, bool fitLater = false);
  void FitColumns();
  void QueueFitColumns();

  // The selection and what acts on it (main_wnd_selection.cpp).
  void SetupSelection();
  void UpdateSelectionCount();
  void OnDeviceAction(int action);
  void UpgradeSelection();
  void RebootSelection();
  void StaticIpSelection();
  void CopySelection();
  void ExportSelection();
  void FollowCurrentRow(int row);
  // The image chosen for an upgrade ("" when cancelled), and its copy into the download folder
  // (the stored file name; "" after the error was shown).
  QString ChooseUpgradeImage(const QString& title);
  QString StoreUpgradeImageShowingWait(const QString& source, const QString& title);
  // The single device's confirmation: the device, the file and "from -> to", after the
  // compatibility warning when the image is of another family.
  bool ConfirmSingleUpgrade(const DEVICE_ENTRY_T& device, const QString& source);
  void ExportRows(const std::vector<const DEVICE_ENTRY_T*>& rows);

  QString m_searchText;
  QElapsedTimer m_roundClock;  // since the discovery that started the current first round
  QLabel* m_pLabelDeviceCount = nullptr;
  QListView* m_pListDevice = nullptr;
  QLineEdit* m_pEditSearch = nullptr;
  CModelCombo* m_pComboModel = nullptr;
  CDeviceInfoView* m_pDeviceInfoView = nullptr;
  QAbstractButton* m_pBtnIpSort = nullptr;
  QAbstractButton* m_pBtnModelSort = nullptr;
  QWidget* m_pListHeader = nullptr;
  CDeviceListModel* m_model = nullptr;
  CDeviceListView* m_listView = nullptr;
  QAbstractButton* m_pBtnProblems = nullptr;  // "Problems (N)": only devices with a problem
  CDeviceSiteMarks m_siteMarks;
  CDeviceSelection* m_selection = nullptr;
  QLabel* m_pLabelSelectionCount = nullptr;
  CLiveSearch* m_liveSearch = nullptr;
  std::unique_ptr<CListColumns> m_columns;  // column widths from the texts shown
  int m_fitCountdown = 0;                   // refreshes until the columns are measured again
  bool m_fitQueued = false;                 // the columns' measuring goes on at the next turn
  std::unique_ptr<CDeviceListFeed> m_feed;  // the timer's looks at the control core
  uint64_t m_listGeneration = 0;            // bumped by every fill of the list on the UI thread
  // Rows of looks not yet in the model, from m_waitingAt on: a look's own list is taken whole
  // (in a fill it holds tens of thousands of rows), not moved row by row.
  std::vector<std::unique_ptr<CDeviceListItem>> m_waitingRows;
  size_t m_waitingAt = 0;
  size_t WaitingRows() const { return m_waitingRows.size() - m_waitingAt; }
  void DropWaitingRows() {
    m_waitingRows.clear();
    m_waitingAt = 0;
  }
  bool m_applyQueued = false;
  // Ends of the slices of UI-thread work (rows applied, columns measured): a measuring slice
  // that would follow another slice in the same turn of the event loop waits (SliceJustRan).
  QElapsedTimer m_sliceClock;
  int m_tableCount = 0;   // devices in the control core's table
  int m_onlineCount = 0;  // of them, those not missing
};
