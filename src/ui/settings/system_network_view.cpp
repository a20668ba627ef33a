#include "ui/settings/system_network_view.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

#include "platform/ini_profile.h"
#include "shell/log.h"
#include "ui/framework/instance_beacon.h"
#include "ui/framework/message_box.h"
#include "ui/settings/settings_view_util.h"

namespace {

constexpr const char* kAll = "All";
// Reader buffers of the settings, in characters: what each step compares or shows.
constexpr int kInterfaceFillChars = 128;
constexpr int kInterfaceCompareChars = 264;
constexpr int kInterfaceCancelChars = 32;
constexpr int kAdapterNameCompareChars = 512;
constexpr int kIpReadChars = 2048;
constexpr int kIpUsedChars = 1023;

CSystemNetworkView::AdapterSource& AdapterSourceSlot() {
  static CSystemNetworkView::AdapterSource source;
  return source;
}

CSystemNetworkView::RestartHook& RestartHookSlot() {
  static CSystemNetworkView::RestartHook hook;
  return hook;
}

QString Setting(const char* key, int maxChars) {
  return QString::fromStdString(CGlobalUtils::ReadNetConnSetting(key, maxChars));
}

QString Join(const std::vector<std::string>& addresses, QString joined = QString()) {
  for (const std::string& address : addresses) {
    if (!joined.isEmpty()) joined += QString::fromUtf8(CGlobalUtils::kIpSeparator);
    joined += QString::fromStdString(address);
  }
  return joined;
}

}  // namespace

CSystemNetworkView::CSystemNetworkView(QWidget* parent) : CBaseView(parent) {
  LoadLayout(QStringLiteral("SystemNetworkView.xml"));
}

void CSystemNetworkView::SetAdapterSource(AdapterSource source) {
  AdapterSourceSlot() = std::move(source);
}

void CSystemNetworkView::SetRestartHook(RestartHook hook) { RestartHookSlot() = std::move(hook); }

IPS_BEGIN_MESSAGE_MAP(CSystemNetworkView, CBaseView)
IPS_ON_CLICK("btn_ok", OnBtnOKClicked)
IPS_ON_CLICK("btn_cancel", OnBtnCancelClicked)
IPS_ON_ITEMSELECT("combo_card", OnAdapterSelected)
IPS_END_MESSAGE_MAP()

void CSystemNetworkView::DoInit() {
  m_pComboCard = FindControl<QComboBox>(QStringLiteral("combo_card"));
  m_pLabelIp = FindControl<QLabel>(QStringLiteral("lab_ip"));
  FillAdapterCombo();
  m_shownIndex = m_pComboCard ? m_pComboCard->currentIndex() : -1;
}

void CSystemNetworkView::OnLanguageChanged() { RetranslateItems(m_pComboCard); }

QString CSystemNetworkView::JoinedAddresses(int comboIndex) const {
  if (comboIndex == 0) {
    QString joined;
    for (const AdapterEntry& adapter : m_adapters) joined = Join(adapter.ipAddresses, joined);
    return joined;
  }
  const size_t adapter = static_cast<size_t>(comboIndex - 1);
  return comboIndex > 0 && adapter < m_adapters.size() ? Join(m_adapters[adapter].ipAddresses)
                                                       : QString();
}

void CSystemNetworkView::SelectSilently(int index) {
  QSignalBlocker block(m_pComboCard);
  m_pComboCard->setCurrentIndex(index);
}

void CSystemNetworkView::FillAdapterCombo() {
  if (!m_pComboCard || !m_pLabelIp) return;
  {
    QSignalBlocker block(m_pComboCard);
    m_pComboCard->clear();
  }
  m_pLabelIp->setText(QString());

  const QString savedInterface = Setting(CGlobalUtils::kInterfaceKey, kInterfaceFillChars);
  const QString savedIp = QString::fromStdString(CutToUtf16Units(
      CGlobalUtils::ReadNetConnSetting(CGlobalUtils::kIpKey, kIpReadChars), kIpUsedChars));
  m_adapters = AdapterSourceSlot() ? AdapterSourceSlot()() : CGlobalUtils::GetAdapters();

  {
    QSignalBlocker block(m_pComboCard);  // the selection is made below, once the list is full
    AddTranslatedItem(m_pComboCard, QString::fromLatin1(kAll), QString::fromLatin1(kAll));
  }
  auto addAdapterItem = [this](const AdapterEntry& adapter) {
    QSignalBlocker block(m_pComboCard);
    m_pComboCard->addItem(QString::fromStdString(adapter.szDescription),
                          QString::fromStdString(adapter.szAdapterName));
  };

  if (savedInterface == QLatin1String(kAll)) {
    for (const AdapterEntry& adapter : m_adapters) addAdapterItem(adapter);
    const QString joined = JoinedAddresses(0);
    SelectSilently(0);
    m_shownIndex = 0;
    m_pLabelIp->setText(joined);
    // "All" follows the computer: the stored addresses are brought up to date.
    if (!m_adapters.empty()) {
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kInterfaceKey, kAll);
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kAdapterNameKey, kAll);
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kIpKey, joined.toStdString());
    }
    return;
  }

  // The adapter whose address occurs in the stored addresses is the saved choice; when several
  // do, the last one wins.
  bool matched = false;
  for (size_t i = 0; i < m_adapters.size(); ++i) {
    addAdapterItem(m_adapters[i]);
    for (const std::string& address : m_adapters[i].ipAddresses) {
      if (!savedIp.contains(QString::fromStdString(address))) continue;
      SelectSilently(static_cast<int>(i) + 1);
      m_pLabelIp->setText(JoinedAddresses(static_cast<int>(i) + 1));
      matched = true;
      break;
    }
  }
  if (!matched) {
    SelectSilently(0);
    m_pLabelIp->setText(JoinedAddresses(0));
  }
}

void CSystemNetworkView::OnAdapterSelected(TNotifyMsg&) {
  if (!m_pComboCard || !m_pLabelIp) return;
  const int index = m_pComboCard->currentIndex();
  if (index == m_shownIndex || index < 0) return;
  m_pLabelIp->setText(JoinedAddresses(index));
  m_shownIndex = index;
}

void CSystemNetworkView::OnBtnOKClicked(TNotifyMsg&) {
  if (!m_pComboCard || !m_pLabelIp) return;
  // The entry's own text, not its translation: "All" is the word the capture start looks for.
  const QString newInterface = ItemKeyText(m_pComboCard, m_pComboCard->currentIndex());
  const QString newAdapterName = m_pComboCard->currentData().toString();
  const QString newIp = m_pLabelIp->text();

  if (Setting(CGlobalUtils::kInterfaceKey, kInterfaceCompareChars) == newInterface &&
      Setting(CGlobalUtils::kAdapterNameKey, kAdapterNameCompareChars) == newAdapterName) {
    CloseHostDialog(this, IDCANCEL);
    return;
  }
  if (ShowMessageBox(window(), QStringLiteral("Confirmation"),
                     QStringLiteral("If you change the network interface card, ZE Dadovev will "
                                    "automatically restart."),
                     MB_OKCANCEL) != IDOK) {
    return;  // the dialog stays open
  }
  const bool written =
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kInterfaceKey, newInterface.toStdString()) &&
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kAdapterNameKey,
                                        newAdapterName.toStdString()) &&
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kIpKey, newIp.toStdString());
  if (!written) {
    // A restart would only open the old adapter again: say so and keep the dialog open.
    ShowMessageBox(window(), QStringLiteral("Confirmation"),
                   QStringLiteral("Failed to modify the network interface card."), MB_OK);
    return;
  }
  LogInfo("%s:Get strIP:%s, strInterface:%s", "CSystemNetworkView::OnBtnOKClicked",
          newIp.toUtf8().constData(), newInterface.toUtf8().constData());
  RestartIPScanner();
}

void CSystemNetworkView::OnBtnCancelClicked(TNotifyMsg& msg) {
  // With no choice ever saved, Cancel confirms what is shown, so that a choice exists.
  if (!Setting(CGlobalUtils::kInterfaceKey, kInterfaceCancelChars).isEmpty()) {
    CloseHostDialog(this, IDCANCEL);
  } else {
    OnBtnOKClicked(msg);
  }
}

void CSystemNetworkView::RestartIPScanner() {
  if (RestartHookSlot()) {
    RestartHookSlot()();
    return;
  }
  HandOverToSuccessor("CSystemNetworkView::RestartIPScanner");
}
