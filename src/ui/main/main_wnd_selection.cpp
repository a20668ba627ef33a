// The main window's multiple selection and the actions on it: the context menu's batch upgrade,
// reboot, static addresses, copy and export, the selection count, and the device panel that lies
// over the list and follows the current row.
#include <QApplication>
#include <QBoxLayout>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>

#include "core/control/control.h"
#include "core/upgrade/upgrade_compat.h"
#include "core/upgrade/upgrade_request.h"
#include "shell/log.h"
#include "ui/device/device_info_view.h"
#include "ui/framework/mask_panel_wnd.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
#include "ui/main/clipboard_utils.h"
#include "ui/main/device_context_menu.h"
#include "ui/main/device_list_model.h"
#include "ui/main/device_panel_overlay.h"
#include "ui/main/device_selection.h"
#include "ui/main/list_columns.h"
#include "ui/main/main_wnd.h"
#include "ui/reboot/batch_reboot_dlg.h"
#include "ui/staticip/set_static_ip_detail_dlg.h"
#include "ui/upgrade/batch_upgrade_dlg.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The image's name must carry a version and fit the request's address field; both are told
// before anything is copied or sent.
bool ImageNameUsable(QWidget* parent, const QString& title, const std::string& fileName) {
  if (ImageVersion(fileName).empty()) {
    ShowMessageBox(parent, title,
                   QStringLiteral("The image's file name carries no firmware version. It must "
                                  "be named <version>.rom or <version>.zip."),
                   MB_OK);
    return false;
  }
  if (!UpgradeUrlFits(GetUpgradeHost(), fileName)) {
    ShowMessageBox(parent, title,
                   QStringLiteral("The image's file name is too long for the address a device "
                                  "accepts. Rename the file and choose it again."),
                   MB_OK);
    return false;
  }
  return true;
}

}  // namespace

std::vector<DEVICE_ENTRY_T> CMainWnd::SelectedDevices() const {
  return m_selection ? m_selection->SelectedDevices() : std::vector<DEVICE_ENTRY_T>();
}

std::vector<std::string> CMainWnd::SelectedMacs() const {
  std::vector<std::string> macs;
  for (const DEVICE_ENTRY_T& d : SelectedDevices()) macs.push_back(d.mac);
  return macs;
}

void CMainWnd::SetupSelection() {
  m_selection = new CDeviceSelection(m_pListDevice, m_model);
  connect(m_selection, &CDeviceSelection::Changed, this, &CMainWnd::UpdateSelectionCount);
  auto* menu = new CDeviceContextMenu(m_pListDevice, m_selection);
  connect(menu, &CDeviceContextMenu::Chosen, this, &CMainWnd::OnDeviceAction);

  if (m_pLabelDeviceCount && m_pLabelDeviceCount->parentWidget()) {
    if (auto* box = qobject_cast<QBoxLayout*>(m_pLabelDeviceCount->parentWidget()->layout())) {
      m_pLabelSelectionCount = new QLabel(m_pLabelDeviceCount->parentWidget());
      m_pLabelSelectionCount->setObjectName(QStringLiteral("lab_selection_count"));
      m_pLabelSelectionCount->setProperty("ips_no_translate", true);
      m_pLabelSelectionCount->setStyleSheet(
          QStringLiteral("QLabel { color: #2463eb; font-weight: 600; }"));
      m_pLabelSelectionCount->hide();
      box->insertWidget(box->indexOf(m_pLabelDeviceCount) + 1, m_pLabelSelectionCount);
    }
  }

  if (m_pDeviceInfoView) {
    if (auto* card = FindControl<QWidget>(QStringLiteral("layout_list_card"))) {
      auto* overlay = new CDevicePanelOverlay(m_pDeviceInfoView, m_pListDevice, card);
      // The columns make room for what the panel covers, so the problem badges stay readable.
      connect(overlay, &CDevicePanelOverlay::CoverChanged, this, [this] {
        if (!m_columns) return;
        QWidget* viewport = m_pListDevice->viewport();
        const bool shown = m_pDeviceInfoView->isVisibleTo(m_pDeviceInfoView->parentWidget());
        const int panelLeft =
            viewport->mapFromGlobal(m_pDeviceInfoView->mapToGlobal(QPoint(0, 0))).x();
        if (m_columns->SetCovered(shown ? viewport->width() - panelLeft : 0) &&
            m_columns->Fit(*m_model, &m_siteMarks))
          viewport->update();
      });
    }
  }
  connect(m_pListDevice->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) FollowCurrentRow(current.row());
          });
  UpdateSelectionCount();
}

void CMainWnd::UpdateSelectionCount() {
  if (!m_pLabelSelectionCount || !m_selection) return;
  const int count = m_selection->SelectedCount();
  m_pLabelSelectionCount->setText(TrText(QStringLiteral("%1 selected")).arg(count));
  m_pLabelSelectionCount->setVisible(count > 0);
}

void CMainWnd::FollowCurrentRow(int row) {
  // An open panel shows the current row, whether a click or the keyboard made it current.
  if (!m_pDeviceInfoView || !m_pDeviceInfoView->isVisible()) return;
  if (const CDeviceListItem* item = m_model->RowAt(row))
    m_pDeviceInfoView->SetDeviceInfo(item->Device());
}

void CMainWnd::OnDeviceAction(int action) {
  switch (action) {
    case CDeviceContextMenu::kUpgrade:
      UpgradeSelection();
      break;
    case CDeviceContextMenu::kReboot:
      RebootSelection();
      break;
    case CDeviceContextMenu::kStaticIp:
      StaticIpSelection();
      break;
    case CDeviceContextMenu::kCopyRows:
      CopySelection();
      break;
    case CDeviceContextMenu::kExport:
      ExportSelection();
      break;
    default:
      break;
  }
}

void CMainWnd::UpgradeSelection() {
  const std::vector<DEVICE_ENTRY_T> devices = SelectedDevices();
  if (devices.empty()) return;
  const QString title = QStringLiteral("Upgrade");
  const QString source = ChooseUpgradeImage(title);
  if (source.isEmpty()) return;
  if (!ImageNameUsable(this, title, QFile::encodeName(QFileInfo(source).fileName()).toStdString()))
    return;
  const QString imageName = StoreUpgradeImageShowingWait(source, title);
  if (imageName.isEmpty()) return;
  CBatchUpgradeDlg dlg(devices, imageName, this);
  dlg.DoModal();
  RefreshDeviceList();
}

bool CMainWnd::ConfirmSingleUpgrade(const DEVICE_ENTRY_T& device, const QString& source) {
  const QString title = QStringLiteral("Upgrade");
  const QString file = QFileInfo(source).fileName();
  const std::string fileName = QFile::encodeName(file).toStdString();
  if (!ImageNameUsable(this, title, fileName)) return false;
  const std::string version = ImageVersion(fileName);
  const QString from =
      device.firmware.empty() ? TrText(QStringLiteral("unknown")) : Text(device.firmware);
  switch (ImageFitFor(version, device.firmware)) {
    case ImageFit::kFits:
      break;
    case ImageFit::kOtherFamily:
      if (ShowMessageBox(this, QStringLiteral("Incompatible firmware"),
                         TrText(QStringLiteral("The image %1 is for the model family %2; the "
                                               "device runs %3 of the family %4. An image of "
                                               "another model family can leave a device unable "
                                               "to start. Upgrade anyway?"))
                             .arg(file, Text(FirmwareFamily(version)), from,
                                  Text(FirmwareFamily(device.firmware))),
                         MB_YESNO) != IDYES)
        return false;
      break;
    case ImageFit::kUnknownDevice:
      if (ShowMessageBox(this, QStringLiteral("Incompatible firmware"),
                         TrText(QStringLiteral("The device reports no firmware version, so it "
                                               "cannot be checked that the image %1 fits it. An "
                                               "image of another model family can leave a device "
                                               "unable to start. Upgrade anyway?"))
                             .arg(file),
                         MB_YESNO) != IDYES)
        return false;
      break;
  }
  const QString text =
      TrText(QStringLiteral("Are you sure you want to upgrade?")) + QStringLiteral("\n\n") +
      TrText(QStringLiteral("Device: %1, MAC %2, %3, room %4"))
          .arg(Text(device.ip), Text(device.mac), Text(device.model), Text(device.deviceId)) +
      QStringLiteral("\n") + TrText(QStringLiteral("File: %1")).arg(file) + QStringLiteral("\n") +
      TrText(QStringLiteral("Firmware: %1 → %2")).arg(from, Text(version));
  return ShowMessageBox(this, title, text, MB_YESNO) == IDYES;
}

void CMainWnd::RebootSelection() {
  const std::vector<DEVICE_ENTRY_T> devices = SelectedDevices();
  if (devices.empty()) return;
  CBatchRebootDlg dlg(devices, m_pDeviceInfoView ? &m_pDeviceInfoView->AuthWaits() : nullptr, this);
  dlg.DoModal();
  RefreshDeviceList();
}

void CMainWnd::StaticIpSelection() {
  const std::vector<DEVICE_ENTRY_T> devices = SelectedDevices();
  if (devices.empty()) return;
  if (ShowMessageBox(this, QStringLiteral("Set static IP"),
                     TrText(QStringLiteral("Give the %1 selected devices static addresses that "
                                           "keep the addresses they have now?"))
                         .arg(devices.size()),
                     MB_YESNO) != IDYES)
    return;
  HideDeviceInfo();
  CMaskPanelWnd mask(this);
  mask.ShowMask(true);
  CSetStaticIPDetailDlg progress(devices, this, false);
  progress.DoModal();
}

void CMainWnd::CopySelection() {
  // The rows as shown, one line each, fields tab-separated: they paste into a spreadsheet.
  QString text;
  for (int row : m_selection->SelectedRows()) {
    const CDeviceListItem* item = m_model->RowAt(row);
    if (!item) continue;
    text += QStringList{item->IndexText(), item->IpText(),   item->MacText(),
                        item->ModelText(), item->RoomText(), item->FirmwareText()}
                .join('\t') +
            QLatin1Char('\n');
  }
  if (!text.isEmpty() && !CopyToClipboard(text)) LogError("Text copying to clipboard failed!");
}

void CMainWnd::ExportSelection() {
  const std::vector<int> selected = m_selection->SelectedRows();
  std::vector<const DEVICE_ENTRY_T*> rows;
  for (int row : selected) {
    if (const CDeviceListItem* item = m_model->RowAt(row)) rows.push_back(&item->Device());
  }
  if (!rows.empty()) ExportRows(rows);
}
