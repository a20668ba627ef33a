#include "ui/main/main_wnd.h"

#include <QAbstractButton>
#include <QDate>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <algorithm>

#include "core/control/capture_subnets.h"
#include "core/control/control.h"
#include "core/export/csv_export.h"
#include "core/export/csv_site_columns.h"
#include "core/upgrade/upgrade_image_store.h"
#include "record/site_paths.h"
#include "shell/global_utils.h"
#include "shell/log.h"
#include "ui/assign/assign_address_dlg.h"
#include "ui/device/device_info_view.h"
#include "ui/device/device_summary.h"
#include "ui/framework/device_list_common.h"
#include "ui/framework/file_dialogs.h"
#include "ui/framework/instance_beacon.h"
#include "ui/framework/mask_panel_wnd.h"
#include "ui/framework/message_box.h"
#include "ui/framework/notify_hub.h"
#include "ui/framework/product_name.h"
#include "ui/framework/translate_manager.h"
#include "ui/framework/wait_dlg.h"
#include "ui/framework/window_note.h"
#include "ui/main/clipboard_utils.h"
#include "ui/main/device_list_feed.h"
#include "ui/main/device_list_model.h"
#include "ui/main/device_list_view.h"
#include "ui/main/device_selection.h"
#include "ui/main/list_columns.h"
#include "ui/main/live_search.h"
#include "ui/main/main_window_placement.h"
#include "ui/main/model_combo.h"
#include "ui/main/sort_arrow.h"
#include "ui/main/window_report.h"
#include "ui/main/window_site_record.h"
#include "ui/settings/about_dlg.h"
#include "ui/settings/system_setting_dlg.h"
#include "ui/staticip/set_static_ip_detail_dlg.h"
#include "ui/staticip/set_static_ip_dlg.h"
#include "ui/upgrade/upgrade_dlg.h"

namespace {

constexpr int kTimerRefresh = 1;
constexpr int kTimerDiscovery = 2;
constexpr int kDiscoveryPeriodMs = 5000;
constexpr int kCopiedNoteMs = 1500;  // how long the "Copied" note stays
// Between two slices of work on a large list (rows entering, columns measured): a timer, not a
// posted call, so that input, paint and timers get their turn in between (posted calls queued
// while posted calls run are run in the same pass).
constexpr int kSliceGapMs = 1;

CMainWnd::StartupHook& StartupHookSlot() {
  static CMainWnd::StartupHook hook;
  return hook;
}

// The site record of the one main window (none while a test's start-up hook replaces the start).
std::unique_ptr<CWindowSiteRecord>& SiteRecordSlot() {
  static std::unique_ptr<CWindowSiteRecord> record;
  return record;
}

CMainWnd::SaveFileHook& SaveFileHookSlot() {
  static CMainWnd::SaveFileHook hook;
  return hook;
}

CMainWnd::OpenFileHook& OpenFileHookSlot() {
  static CMainWnd::OpenFileHook hook;
  return hook;
}

int SortState(const QAbstractButton* button) {
  return button ? static_cast<int>(GetTag(button)) : CDeviceListModel::kSortOff;
}

void SetSortState(QAbstractButton* button, int state) {
  if (button) SetTag(button, static_cast<quintptr>(state));
}

}  // namespace

CMainWnd::CMainWnd() : CBaseDlg(QString(), nullptr, true) {
  CModelCombo::Register();
  m_model = new CDeviceListModel(this);
}

CMainWnd::~CMainWnd() {
  if (m_feed) m_feed->Stop();  // it reports problems to the site record
  SiteRecordSlot().reset();
}

void CMainWnd::SetStartupHook(StartupHook hook) { StartupHookSlot() = std::move(hook); }

void CMainWnd::SetSaveFileHook(SaveFileHook hook) { SaveFileHookSlot() = std::move(hook); }

void CMainWnd::SetOpenFileHook(OpenFileHook hook) { OpenFileHookSlot() = std::move(hook); }

IPS_BEGIN_MESSAGE_MAP(CMainWnd, CBaseDlg)
IPS_ON_MSGTYPE("timer", OnTimer)
IPS_ON_CLICK("btn_mini", OnBtnMiniClicked)
IPS_ON_CLICK("btn_search", OnBtnSearchClicked)
IPS_ON_CLICK("btn_refresh", OnBtnRefreshClicked)
IPS_ON_CLICK("btn_export", OnBtnExportClicked)
IPS_ON_CLICK("btn_report", OnBtnReportClicked)
IPS_ON_CLICK("btn_ip_sort", OnBtnIpSortClicked)
IPS_ON_CLICK("btn_model_sort", OnBtnModelSortClicked)
IPS_ON_CLICK("btn_static_ip", OnBtnStaticIpClicked)
IPS_ON_CLICK("btn_assign_addresses", OnBtnAssignAddressesClicked)
IPS_ON_CLICK("btn_system_setting", OnBtnSystemSettingClicked)
IPS_ON_CLICK("btn_show_device_info", OnBtnShowDeviceInfoClicked)
IPS_ON_NOTIFY("itemclick", "list_device", OnItemDeviceClick)
IPS_ON_ITEMSELECT("combo_model", OnComboModelItemSelect)
IPS_ON_CLICK("btn_about", OnBtnAboutClicked)
IPS_ON_CLICK("btn_problems", OnBtnProblemsClicked)
IPS_END_MESSAGE_MAP()

QWidget* CMainWnd::CreateControl(const QString& className, QWidget* parent) {
  if (className == QLatin1String("DeviceInfoView")) return new CDeviceInfoView(parent);
  return nullptr;  // every other class is the shared builder's
}

bool CMainWnd::AdapterChoiceNeeded(size_t adapterCount, const std::string& ipSetting,
                                   const std::string& interfaceSetting) {
  // An adapter without IPv4 address saves no address: its saved name counts as the choice.
  return adapterCount != 1 && ipSetting.empty() && interfaceSetting.empty();
}

bool CMainWnd::CheckAdapterSetting() {
  auto needed = [] {
    return AdapterChoiceNeeded(CGlobalUtils::GetAdapters().size(),
                               CGlobalUtils::ReadIpSetting(1024),
                               CGlobalUtils::ReadInterfaceSetting());
  };
  if (!needed()) return true;
  // The installer chooses the adapter before anything is sent: the control core starts after
  // this returns. A changed choice restarts the program from inside the dialog, so a return
  // with the choice still open means the dialog was ended from outside (a signal).
  CSystemSettingDlg dlg(nullptr, CSystemSettingDlg::kTabNetwork);
  dlg.DoModal();
  return !needed();
}

void CMainWnd::InitWindow() {
  setWindowTitle(TrText(QString::fromLatin1(kProductName)));
  if (QWidget* root = GetRoot(); root && !root->windowIcon().isNull())
    setWindowIcon(root->windowIcon());

  if (QWidget* root = GetRoot()) {
    // Style sheet images are relative to the skin folder, not to the working directory.
    QString sheet = root->styleSheet();
    if (sheet.contains(QLatin1String("url(img/"))) {
      root->setStyleSheet(
          sheet.replace(QLatin1String("url(img/"),
                        QStringLiteral("url(") + GetSkinDirectory() + QStringLiteral("img/")));
    }
  }

  if (StartupHookSlot()) {
    StartupHookSlot()(this);
  } else {
    if (!CheckAdapterSetting()) {
      LogInfo("%s: no adapter chosen; ending without sending", "CMainWnd::InitWindow");
      Close(IDCANCEL);  // once shown
      return;
    }
    CControl::GetInstance()->Init();
    CGlobalUtils::CheckModelCatalog(nullptr);  // logs once when the catalog cannot serve
    SiteRecordSlot() = std::make_unique<CWindowSiteRecord>(this);
  }

  m_pLabelDeviceCount = FindControl<QLabel>(QStringLiteral("lab_device_count"));
  m_pListDevice = FindControl<QListView>(QStringLiteral("list_device"));
  m_pEditSearch = FindControl<QLineEdit>(QStringLiteral("edit_search"));
  m_pComboModel = FindControl<CModelCombo>(QStringLiteral("combo_model"));
  m_pDeviceInfoView = FindControl<CDeviceInfoView>(QStringLiteral("layout_device_info"));
  m_pBtnIpSort = FindControl<QAbstractButton>(QStringLiteral("btn_ip_sort"));
  m_pBtnModelSort = FindControl<QAbstractButton>(QStringLiteral("btn_model_sort"));
  m_pListHeader = FindControl<QWidget>(QStringLiteral("layout_list_header"));
  m_pBtnProblems = FindControl<QAbstractButton>(QStringLiteral("btn_problems"));
  if (m_pDeviceInfoView) {
    // The row of a device sent to reboot says so until the device answers again.
    connect(m_pDeviceInfoView, &CDeviceInfoView::DeviceRestarting, this,
            [this](const DEVICE_ENTRY_T& device) {
              m_siteMarks.MarkRestarting(device.mac);
              if (m_pListDevice) m_pListDevice->viewport()->update();
            });
  }
  // The detail view comes later; its button has nothing to show without it.
  if (!m_pDeviceInfoView) {
    if (auto* button = FindControl<QWidget>(QStringLiteral("btn_show_device_info"))) button->hide();
  }

  if (m_pListDevice) {
    QString error;
    QWidget* rowTemplate = CDeviceRowPainter::LoadTemplate(GetSkinDirectory(), &error);
    if (!rowTemplate) LogError("%s: %s", "CMainWnd::InitWindow", error.toUtf8().constData());
    m_listView = new CDeviceListView(m_pListDevice, m_model, rowTemplate);
    m_listView->Painter()->SetSiteMarks(&m_siteMarks);
    m_columns = std::make_unique<CListColumns>(m_pListHeader, m_listView->Painter());
    m_model->SetSiteMarks(&m_siteMarks);
    m_listView->SetEmptyText(TrText(QStringLiteral("No online devices.")));
    connect(m_listView, &CDeviceListView::IpCopyClicked, this, &CMainWnd::OnBtnIpCopyClicked);
    connect(m_listView, &CDeviceListView::MacCopyClicked, this, &CMainWnd::OnBtnMacCopyClicked);
    connect(m_listView, &CDeviceListView::UpgradeClicked, this, &CMainWnd::OnBtnUpgradeClicked);
    SetupSelection();
    connect(m_listView, &CDeviceListView::BadgeClicked, this, &CMainWnd::OnBadgeClicked);
    connect(m_pListDevice->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &CMainWnd::AlignListHeader, Qt::QueuedConnection);
    m_pListDevice->viewport()->installEventFilter(this);
    CDeviceListFeed::SOURCES_T sources;
    sources.table = [](uint64_t* version) {
      return CControl::GetInstance()->GetDeviceList(version);
    };
    sources.tableVersion = [] { return CControl::GetInstance()->DeviceTableVersion(); };
    sources.status = [] { return CControl::GetInstance()->DeviceStatus().Snapshot(); };
    sources.statusChanged = [](const STATUS_STAMP_T& since, std::chrono::milliseconds* now) {
      return CControl::GetInstance()->DeviceStatus().ChangedSince(since, now);
    };
    sources.subnets = [] { return CaptureSubnets(); };
    sources.record = [](const std::vector<DEVICE_ENTRY_T>& table, const SiteProblemMap& problems) {
      if (SiteRecordSlot()) SiteRecordSlot()->RecordProblems(table, problems);
    };
    m_feed = std::make_unique<CDeviceListFeed>(
        this, std::move(sources),
        [this](std::shared_ptr<DEVICE_LIST_LOOK_T> look) { OnLook(std::move(look)); });
  }
  if (m_pEditSearch) {
    // Enter in the search box is the search button; the list also follows the typing.
    connect(m_pEditSearch, &QLineEdit::returnPressed, this, &CMainWnd::Search);
    m_liveSearch = new CLiveSearch(m_pEditSearch, this);
    connect(m_liveSearch, &CLiveSearch::SearchRequested, this, &CMainWnd::Search);
  }
  if (auto* legend = FindControl<QLabel>(QStringLiteral("lab_status_legend")))
    legend->setText(CDeviceSiteMarks::LegendHtml());
  PlaceMainWindow(this);

  SetSortState(m_pBtnIpSort, CDeviceListModel::kSortAscending);
  SetSortState(m_pBtnModelSort, CDeviceListModel::kSortOff);
  UpdateSortImage(m_pBtnIpSort);
  UpdateSortImage(m_pBtnModelSort);

  SetTimer(GetRoot(), kTimerRefresh, kRefreshPeriodMs);
  SetTimer(GetRoot(), kTimerDiscovery, kDiscoveryPeriodMs);

  EmptyList();
  UpdateDeviceCount();
  CControl::GetInstance()->MulticastDiscoveryMsg();
  m_roundClock.start();
  UpdateEmptyText(0);

  if (!StartupHookSlot()) SetMainWindowProperty(this);
}

void CMainWnd::OnTimer(TNotifyMsg& msg) {
  if (msg.wParam == kTimerRefresh) {
    AskForLook();
  } else if (msg.wParam == kTimerDiscovery) {
    CControl::GetInstance()->MulticastDiscoveryMsg();
  }
}

void CMainWnd::SyncSortStates() {
  if (m_pBtnIpSort || m_pBtnModelSort) {
    m_model->SetSortStates(SortState(m_pBtnIpSort), SortState(m_pBtnModelSort));
  }
}

void CMainWnd::RefreshDeviceList() {
  if (!m_pListDevice) return;
  ++m_listGeneration;
  DropWaitingRows();  // rows of an older look: this refresh has the newer table
  const QString modelFilter = m_pComboModel ? m_pComboModel->GetSelectedValue() : QString();
  SyncSortStates();
  const int rowsBefore = m_model->Count();
  m_model->Refresh(ReadSiteState(), modelFilter, m_searchText);
  ShowListState(rowsBefore);
}

void CMainWnd::AskForLook() {
  if (!m_pListDevice || !m_feed) return RefreshDeviceList();
  DEVICE_LIST_ASK_T ask;
  ask.generation = m_listGeneration;
  ask.modelFilter = m_pComboModel ? m_pComboModel->GetSelectedValue() : QString();
  m_searchText = m_searchText.toUpper();
  ask.upperSearch = m_searchText;
  ask.problemsOnly = m_pBtnProblems && m_pBtnProblems->isChecked();
  ask.freshStatus = m_siteMarks.AnyRestarting();
  m_feed->Ask(std::move(ask));
}

void CMainWnd::OnLook(std::shared_ptr<DEVICE_LIST_LOOK_T> look) {
  if (m_pListDevice && look->generation == m_listGeneration) {
    bool repaint = true;
    if (look->siteKept) {
      repaint = m_siteMarks.KeepAt(look->site.status.now, look->site.wallMs);
    } else {
      m_siteMarks.Adopt(look->site);  // look->site now holds the previous state
    }
    m_tableCount = look->tableCount;
    m_onlineCount = look->onlineCount;
    // Statuses change without any text changing: repaint the rows in view (only those are drawn).
    if (repaint) m_pListDevice->viewport()->update();
    if (!look->rows.empty()) {
      m_model->ReserveRows(WaitingRows() + look->rows.size());
      if (WaitingRows() == 0) {
        m_waitingRows.swap(look->rows);  // the spent list goes back with the look
        m_waitingAt = 0;
      } else {
        for (auto& row : look->rows) m_waitingRows.push_back(std::move(row));
      }
    }
    // Rows go in a turn of their own: the look came with other events of this turn (a slice of
    // rows or of measuring, a repaint), and together they would stall the window.
    if (WaitingRows() == 0) {
      ApplyWaitingRows();  // only the counts
    } else {
      QueueApplyRows();
    }
  }
  m_feed->Discard(std::move(look));  // freed on the feed's thread
}

void CMainWnd::ApplyWaitingRows() {
  // A few milliseconds of model work per slice on a slow machine; the repaint that follows in
  // the same turn takes about as long again.
  constexpr size_t kRowsPerSlice = 1000;
  std::vector<std::unique_ptr<CDeviceListItem>> slice;
  const size_t take = std::min(kRowsPerSlice, WaitingRows());
  slice.reserve(take);
  for (size_t i = 0; i < take; ++i) slice.push_back(std::move(m_waitingRows[m_waitingAt + i]));
  m_waitingAt += take;
  if (WaitingRows() == 0) DropWaitingRows();  // only moved-from pointers: the room stays
  SyncSortStates();
  const int rowsBefore = m_model->Count();
  m_model->Apply(std::move(slice));
  ShowListState(rowsBefore, true);
  if (take > 0) m_sliceClock.restart();
  if (WaitingRows() > 0) QueueApplyRows();
}

void CMainWnd::QueueApplyRows() {
  if (m_applyQueued) return;
  m_applyQueued = true;
  QTimer::singleShot(kSliceGapMs, this, [this] {
    m_applyQueued = false;
    ApplyWaitingRows();
  });
}

bool CMainWnd::SliceJustRan() const {
  // Timers that fall due together run in one turn: a measuring slice due with a slice of rows
  // would double the time the window does not answer.
  return m_sliceClock.isValid() && m_sliceClock.nsecsElapsed() < kSliceGapMs * 1000000ll;
}

void CMainWnd::ShowListState(int rowsBefore, bool fitLater) {
  // Widths follow the texts: at once when rows come or go, otherwise every few seconds (texts
  // rarely change, and measuring a large list every second would cost).
  if (m_columns && (m_model->Count() != rowsBefore || --m_fitCountdown <= 0)) {
    m_fitCountdown = 5;
    if (fitLater) {
      QueueFitColumns();
    } else {
      FitColumns();
    }
  }
  UpdateDeviceCount();
  UpdateProblemsButton();
  // The whole table, not what the problems toggle lets through: hidden devices are known ones.
  if (m_model->Count() == 0) UpdateEmptyText(static_cast<size_t>(m_tableCount));
}

void CMainWnd::FitColumns() {
  if (!m_columns || !m_pListDevice) return;
  if (m_columns->Fit(*m_model, &m_siteMarks)) m_pListDevice->viewport()->update();
  m_sliceClock.restart();
  // Texts not measured yet (many rows came at once) are measured in the next turns of the
  // event loop, a slice at a time.
  if (m_columns->Pending()) QueueFitColumns();
}

void CMainWnd::QueueFitColumns() {
  if (m_fitQueued) return;
  m_fitQueued = true;
  QTimer::singleShot(kSliceGapMs, this, [this] {
    m_fitQueued = false;
    // Rows first: the measuring waits while rows are waiting, and never follows a slice of
    // them in the same turn.
    if (SliceJustRan() || WaitingRows() > 0) return QueueFitColumns();
    FitColumns();
  });
}

void CMainWnd::UpdateEmptyText(size_t devicesKnown) {
  if (!m_listView) return;
  const bool firstRound = m_roundClock.isValid() && m_roundClock.elapsed() < kDiscoveryPeriodMs;
  m_listView->SetEmptyText(TrText(EmptyListText(firstRound, devicesKnown)));
}

QString CMainWnd::ExportFileFilter() {
  return TrText(QStringLiteral("CSV Files (*.csv)")) + QStringLiteral(";;") +
         TrText(QStringLiteral("All Files (*)"));
}

QString CMainWnd::FirmwareFileFilter() {
  return TrText(QStringLiteral("Firmware images (*.rom *.zip)")) + QStringLiteral(";;") +
         TrText(QStringLiteral("All Files (*)"));
}

QString CMainWnd::ProposedExportName(const QDate& day) {
  return QStringLiteral("ipscanner-devices-%1.csv").arg(day.toString(Qt::ISODate));
}

QString CMainWnd::EmptyListText(bool firstRound, size_t devicesKnown) {
  if (devicesKnown > 0) return QStringLiteral("No devices match the search or filter.");
  return firstRound ? QStringLiteral("Searching for devices...")
                    : QStringLiteral("No online devices.");
}

std::vector<DEVICE_ENTRY_T> CMainWnd::ReadSiteState() {
  CControl* control = CControl::GetInstance();
  std::vector<DEVICE_ENTRY_T> table = control->GetDeviceList();
  m_siteMarks.Update(table, control->DeviceStatus().Snapshot(), CaptureSubnets());
  m_tableCount = static_cast<int>(table.size());
  m_onlineCount = static_cast<int>(std::count_if(table.begin(), table.end(), [this](const auto& d) {
    return m_siteMarks.Live(d.mac).status != EDeviceStatus::kMissing;
  }));
  if (SiteRecordSlot()) {
    SiteProblemMap problems;
    for (const DEVICE_ENTRY_T& d : table) {
      if (const std::vector<SITE_PROBLEM_T>* list = m_siteMarks.Problems(d.mac))
        problems[d.mac] = *list;
    }
    SiteRecordSlot()->RecordProblems(table, problems);
  }
  // Statuses change without any text changing: repaint the rows in view (only those are drawn).
  if (m_pListDevice) m_pListDevice->viewport()->update();
  if (m_pBtnProblems && m_pBtnProblems->isChecked()) {
    std::erase_if(table,
                  [this](const DEVICE_ENTRY_T& d) { return !m_siteMarks.HasProblem(d.mac); });
  }
  return table;
}

void CMainWnd::UpdateProblemsButton() {
  if (!m_pBtnProblems) return;
  const int count = m_siteMarks.ProblemCount();
  m_pBtnProblems->setText(
      FormatCount(TrText(m_pBtnProblems->property("text_format").toString()), count));
  if (m_pBtnProblems->property("hasProblems").toBool() != (count > 0)) {
    m_pBtnProblems->setProperty("hasProblems", count > 0);
    m_pBtnProblems->style()->unpolish(m_pBtnProblems);
    m_pBtnProblems->style()->polish(m_pBtnProblems);
  }
}

void CMainWnd::OnBtnProblemsClicked(TNotifyMsg&) {
  // Like the model filter: the list is emptied and filled again with what passes.
  if (!m_pListDevice) return;
  EmptyList();
  RefreshDeviceList();
  HideDeviceInfo();
}

QString CMainWnd::FormatCount(const QString& format, int count) {
  return ::FormatCount(format, count);
}

void CMainWnd::UpdateDeviceCount() {
  if (!m_pLabelDeviceCount) return;
  const QString key = m_pLabelDeviceCount->property("text_format").toString();
  const int rows = m_pListDevice ? m_model->Count() : 0;
  // The devices online, whatever the search shows; how many rows are left when it hides some.
  QString text = FormatCount(TrText(key), m_onlineCount);
  if (rows < m_tableCount)
    text += QStringLiteral("  \u00B7  ") + FormatCount(TrText(QStringLiteral("%d shown")), rows);
  m_pLabelDeviceCount->setText(text);
}

void CMainWnd::UpdateSortImage(QAbstractButton* button) { ::UpdateSortImage(GetRoot(), button); }

void CMainWnd::ToggleSort(QAbstractButton* button, QAbstractButton* other) {
  if (!button) return;
  SetSortState(button, SortState(button) == CDeviceListModel::kSortAscending
                           ? CDeviceListModel::kSortDescending
                           : CDeviceListModel::kSortAscending);
  UpdateSortImage(button);
  if (other) {
    SetSortState(other, CDeviceListModel::kSortOff);
    UpdateSortImage(other);
  }
  RefreshDeviceList();
}

void CMainWnd::OnBtnIpSortClicked(TNotifyMsg&) { ToggleSort(m_pBtnIpSort, m_pBtnModelSort); }

void CMainWnd::OnBtnModelSortClicked(TNotifyMsg&) { ToggleSort(m_pBtnModelSort, m_pBtnIpSort); }

void CMainWnd::EmptyList() {
  ++m_listGeneration;
  DropWaitingRows();
  m_model->RemoveAll();
}

void CMainWnd::HideDeviceInfo() {
  if (m_pDeviceInfoView) m_pDeviceInfoView->setVisible(false);
}

void CMainWnd::OnBtnMiniClicked(TNotifyMsg&) { showMinimized(); }

void CMainWnd::OnBtnSearchClicked(TNotifyMsg&) { Search(); }

void CMainWnd::Search() {
  if (!m_pListDevice) return;
  if (m_liveSearch) m_liveSearch->Flush();
  m_searchText = m_pEditSearch ? m_pEditSearch->text() : QString();
  EmptyList();
  RefreshDeviceList();
  HideDeviceInfo();
}

void CMainWnd::OnComboModelItemSelect(TNotifyMsg&) {
  if (!m_pListDevice) return;
  EmptyList();
  RefreshDeviceList();
  HideDeviceInfo();
}

void CMainWnd::OnBtnRefreshClicked(TNotifyMsg&) {
  if (m_pListDevice) EmptyList();
  if (m_pComboModel) m_pComboModel->SelectByValue(QString(), true);
  if (m_pEditSearch) m_pEditSearch->clear();
  m_searchText.clear();
  if (m_pBtnProblems) m_pBtnProblems->setChecked(false);  // every device again, as "All" does
  CControl::GetInstance()->ClearDevices();
  CControl::GetInstance()->MulticastDiscoveryMsg();
  m_roundClock.start();  // a new first round: the list searches again
  // Selecting "All" above announces itself, and its handler refills the list from the table as
  // it was before the clear: empty it again so that no device from before the refresh stays.
  if (m_pListDevice) EmptyList();
  RefreshDeviceList();
  HideDeviceInfo();
  // The view forgets the device it showed: any device opened next counts as new.
  if (m_pDeviceInfoView) m_pDeviceInfoView->SetDeviceInfo(DEVICE_ENTRY_T{});
}

void CMainWnd::OnItemDeviceClick(TNotifyMsg& msg) {
  const CDeviceListItem* item = m_model->RowAt(static_cast<int>(msg.wParam));
  if (!item || !m_pDeviceInfoView) return;
  // A Ctrl or Shift click changes the selection; it does not open the panel.
  if (m_selection && m_selection->LastClickExtended()) return;
  m_pDeviceInfoView->SetDeviceInfo(item->Device());
  m_pDeviceInfoView->setVisible(true);
}

void CMainWnd::OnBtnShowDeviceInfoClicked(TNotifyMsg&) {
  if (!m_pDeviceInfoView || !m_pListDevice || m_model->Count() == 0) return;
  if (!m_pListDevice->currentIndex().isValid()) {
    // Selected without focus and without announcing it, like a click would not.
    m_pListDevice->selectionModel()->setCurrentIndex(m_model->index(0),
                                                     QItemSelectionModel::ClearAndSelect);
  }
  const CDeviceListItem* item = m_model->RowAt(m_pListDevice->currentIndex().row());
  if (!item) return;
  m_pDeviceInfoView->SetDeviceInfo(item->Device());
  m_pDeviceInfoView->setVisible(true);
}

void CMainWnd::CopyRowText(int row, bool mac) {
  const CDeviceListItem* item = m_model->RowAt(row);
  if (!item) return;
  if (CopyToClipboard(mac ? item->MacText() : item->IpText())) {
    LogError("The text has been copied to the clipboard!");
    ShowCopiedNear(row, mac);
  } else {
    LogError("Text copying to clipboard failed!");
  }
}

void CMainWnd::ShowCopiedNear(int row, bool mac) {
  if (!m_listView) return;
  // A short note at the button itself; it goes away by itself and takes no click.
  const QRect button =
      m_listView->PartRect(row, mac ? CDeviceRowPainter::kMacCopy : CDeviceRowPainter::kIpCopy);
  if (button.isEmpty()) return;
  QWidget* viewport = m_listView->View()->viewport();
  QToolTip::showText(viewport->mapToGlobal(button.bottomLeft()), TrText(QStringLiteral("Copied")),
                     viewport, button, kCopiedNoteMs);
}

void CMainWnd::OnBtnIpCopyClicked(int row) { CopyRowText(row, false); }

void CMainWnd::OnBtnMacCopyClicked(int row) { CopyRowText(row, true); }

void CMainWnd::OnBtnUpgradeClicked(int row) {
  const CDeviceListItem* item = m_model->RowAt(row);
  if (!item) return;
  const DEVICE_ENTRY_T device = item->Device();  // the row may go with the next refresh
  const QString title = QStringLiteral("Upgrade");
  const QString source = ChooseUpgradeImage(title);
  if (source.isEmpty() || !ConfirmSingleUpgrade(device, source)) return;
  const QString imageName = StoreUpgradeImageShowingWait(source, title);
  if (imageName.isEmpty()) return;
  CUpgradeDlg dlg(device, imageName, this);
  dlg.DoModal();
  RefreshDeviceList();
}

QString CMainWnd::ChooseUpgradeImage(const QString& title) {
  (void)title;
  if (OpenFileHookSlot()) return OpenFileHookSlot()(this);
  return AskOpenFileName(this, TrText(QStringLiteral("Choose a firmware image")),
                         FirmwareFileFilter());
}

QString CMainWnd::StoreUpgradeImageShowingWait(const QString& source, const QString& title) {
  // The copy replaces an image of the same name; the wait dialog counts the seconds meanwhile.
  std::string imageName;
  std::string error;
  {
    CWaitDlg wait(this);
    wait.SetMessage(TrText(QStringLiteral("Uploading the firmware package. Please wait...")));
    const std::string path = QFile::encodeName(source).toStdString();
    wait.Run([&] { imageName = StoreUpgradeImage(path, &error); });
  }
  if (imageName.empty()) {
    LogError("%s: %s", "CMainWnd::StoreUpgradeImageShowingWait", error.c_str());
    ShowMessageBox(this, title, QStringLiteral("Copy file failed."), MB_OK);
    return {};
  }
  return QFile::decodeName(QByteArray::fromStdString(imageName));
}

void CMainWnd::OnBtnStaticIpClicked(TNotifyMsg&) {
  HideDeviceInfo();
  // One mask over the window for both dialogs, which therefore run without their own.
  CMaskPanelWnd mask(this);
  mask.ShowMask(true);
  CSetStaticIPDlg selection(this, false);
  if (selection.DoModal() != IDOK) return;
  CSetStaticIPDetailDlg progress(selection.GetSelectedDevices(), this, false);
  progress.DoModal();
}

// The selection when there is one, else every device listed now.
std::vector<DEVICE_ENTRY_T> CMainWnd::DevicesToAssign() const {
  if (std::vector<DEVICE_ENTRY_T> selected = SelectedDevices(); !selected.empty()) return selected;
  std::vector<DEVICE_ENTRY_T> devices;
  for (int i = 0; i < m_model->Count(); ++i) devices.push_back(m_model->RowAt(i)->Device());
  return devices;
}

std::vector<DEVICE_ENTRY_T> CMainWnd::DevicesToFix(const DEVICE_ENTRY_T& device) const {
  std::vector<DEVICE_ENTRY_T> devices;
  for (const DEVICE_ENTRY_T& d : CControl::GetInstance()->GetDeviceList()) {
    if (d.mac == device.mac || (d.ip == device.ip && m_siteMarks.HasAddressProblem(d.mac)))
      devices.push_back(d);
  }
  return devices;
}

void CMainWnd::OpenAssignDialog(std::vector<DEVICE_ENTRY_T> devices) {
  HideDeviceInfo();
  if (devices.empty()) {
    ShowMessageBox(this, QStringLiteral("Tips"), QStringLiteral("No online devices."), MB_OK);
    return;
  }
  CAssignAddressDlg dlg(std::move(devices), this);
  dlg.DoModal();
  RefreshDeviceList();
}

void CMainWnd::OnBtnAssignAddressesClicked(TNotifyMsg&) { OpenAssignDialog(DevicesToAssign()); }

void CMainWnd::OnBadgeClicked(int row, const QPoint& globalPos) {
  const CDeviceListItem* item = m_model->RowAt(row);
  if (!item || !m_siteMarks.HasAddressProblem(item->Device().mac)) return;
  const DEVICE_ENTRY_T device = item->Device();
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("menu_fix"));
  QAction* fix = menu.addAction(TrText(QStringLiteral("Fix…")));
  if (menu.exec(globalPos) == fix) OpenAssignDialog(DevicesToFix(device));
}

void CMainWnd::OnBtnSystemSettingClicked(TNotifyMsg&) {
  CSystemSettingDlg dlg(this, CSystemSettingDlg::kTabLanguage);
  dlg.DoModal();
}

void CMainWnd::OnLanguageChanged() {
  // Layout texts follow by themselves; these the window formats from the catalog.
  UpdateEmptyText(CControl::GetInstance()->GetDeviceList().size());
  UpdateDeviceCount();
  m_fitCountdown = 0;  // the headers' words changed: measure at the next refresh
  setWindowTitle(TrText(QString::fromLatin1(kProductName)));
  if (auto* legend = FindControl<QLabel>(QStringLiteral("lab_status_legend")))
    legend->setText(CDeviceSiteMarks::LegendHtml());
}

void CMainWnd::OnBtnAboutClicked(TNotifyMsg&) {
  CAboutDlg dlg(this);
  dlg.DoModal();
}

void CMainWnd::OnBtnExportClicked(TNotifyMsg&) {
  if (!m_pListDevice) return;
  if (m_model->Count() == 0) {
    ShowMessageBox(this, QStringLiteral("Export Error"), QStringLiteral("No online devices."),
                   MB_OK);
    return;
  }
  std::vector<const DEVICE_ENTRY_T*> rows;
  rows.reserve(static_cast<size_t>(m_model->Count()));
  for (int i = 0; i < m_model->Count(); ++i) rows.push_back(&m_model->RowAt(i)->Device());
  ExportRows(rows);
}

void CMainWnd::OnBtnReportClicked(TNotifyMsg&) {
  QString chosen;
  if (SaveFileHookSlot()) {
    chosen = SaveFileHookSlot()(this);
  } else {
    const std::string site =
        CWindowSiteRecord::Current() ? CWindowSiteRecord::Current()->SiteName() : ReadSiteSetting();
    chosen =
        AskSaveFileName(this, TrText(QStringLiteral("Commissioning report")),
                        QDir::current().filePath(ProposedReportName(site, QDate::currentDate())),
                        ReportFileFilter());
  }
  const QString path = ReportPathOf(chosen);
  if (path.isEmpty()) return;
  // The file dialog asked about the name it was given; a name that got ".pdf" asks here.
  if (path != chosen && QFile::exists(path) &&
      ShowMessageBox(this, QStringLiteral("Confirmation"),
                     QStringLiteral("This file already exists, are you sure you want to cover it?"),
                     MB_YESNO) != IDYES) {
    return;
  }
  WriteWindowReport(this, path);
}

void CMainWnd::ExportRows(const std::vector<const DEVICE_ENTRY_T*>& rows) {
  QString chosen;
  if (SaveFileHookSlot()) {
    chosen = SaveFileHookSlot()(this);
  } else {
    chosen = AskSaveFileName(this, TrText(QStringLiteral("Export CSV")),
                             QDir::current().filePath(ProposedExportName(QDate::currentDate())),
                             ExportFileFilter());
  }
  if (chosen.isEmpty()) return;

  const std::string path = CCsvExport::ExportPath(chosen.toStdString());
  if (QFile::exists(QString::fromStdString(path)) &&
      ShowMessageBox(this, QStringLiteral("Confirmation"),
                     QStringLiteral("This file already exists, are you sure you want to cover it?"),
                     MB_YESNO) != IDYES) {
    return;
  }

  CsvHeaderTexts header;
  header.index = TrText(QStringLiteral("Index")).toStdString();
  header.ip = TrText(QStringLiteral("IP Address")).toStdString();
  header.mac = TrText(QStringLiteral("MAC Address")).toStdString();
  header.model = TrText(QStringLiteral("Model")).toStdString();
  header.room = TrText(QStringLiteral("Room Number")).toStdString();
  header.firmware = TrText(QStringLiteral("Firmware Version")).toStdString();
  const std::string bytes = CCsvSiteColumns::FormatFile(
      rows, header,
      {TrText(QStringLiteral("Status")).toStdString(),
       TrText(QStringLiteral("Problems")).toStdString()},
      [this](const DEVICE_ENTRY_T& d) { return m_siteMarks.CsvCells(d); });
  if (!CCsvExport::WriteFile(path, bytes)) {
    ShowMessageBox(this, QStringLiteral("Export Error"), QStringLiteral("Opening file failed."),
                   MB_OK);
    return;
  }
  ShowWindowNote(this, TrText(QStringLiteral("The device list was saved to %1."))
                           .arg(QDir::toNativeSeparators(QString::fromStdString(path))));
}

bool CMainWnd::eventFilter(QObject* watched, QEvent* event) {
  if (m_pListDevice && watched == m_pListDevice->viewport() && event->type() == QEvent::Resize) {
    AlignListHeader();
  }
  return CBaseDlg::eventFilter(watched, event);
}

void CMainWnd::AlignListHeader() {
  // Header columns line up with the rows: when the list shows its scroll bar, the rows are
  // narrower by its width, and so is the header.
  if (!m_pListHeader || !m_pListDevice || !m_pListHeader->layout()) return;
  QLayout* layout = m_pListHeader->layout();
  static const char* kBaseMargin = "baseRightMargin";
  if (!m_pListHeader->property(kBaseMargin).isValid()) {
    m_pListHeader->setProperty(kBaseMargin, layout->contentsMargins().right());
  }
  int extra = std::max(0, m_pListHeader->width() - m_pListDevice->viewport()->width());
  QMargins margins = layout->contentsMargins();
  margins.setRight(m_pListHeader->property(kBaseMargin).toInt() + extra);
  layout->setContentsMargins(margins);
}
