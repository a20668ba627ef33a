#include "ui/settings/system_network_view.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QStringList>
#include <bit>

#include "platform/adapter_subnets.h"
#include "platform/ini_profile.h"
#include "shell/log.h"
#include "ui/framework/instance_beacon.h"
#include "ui/framework/message_box.h"
#include "ui/framework/translate_manager.h"
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

QString Join(const std::vector<std::string>& addresses, const QString& separator,
             QString joined = QString()) {
  for (const std::string& address : addresses) {
    if (!joined.isEmpty()) joined += separator;
    joined += QString::fromStdString(address);
  }
  return joined;
}

QString FileSeparator() { return QString::fromUtf8(CGlobalUtils::kIpSeparator); }
QString WindowSeparator() { return QStringLiteral(", "); }

// "eth0 (Ethernet, e1000e)  192.168.1.10/24, 10.0.0.5/8": what the installer recognises an
// adapter by. An address whose network the system does not list shows without a prefix.
QString AdapterItemText(const AdapterEntry& adapter) {
  const QString name = QString::fromStdString(adapter.szDescription);
  if (adapter.ipAddresses.empty())
    return name + QStringLiteral("  ") + TrText(QStringLiteral("(no IPv4 address)"));
  const std::vector<IPV4_SUBNET_T> subnets = ListAdapterSubnets({adapter.szAdapterName});
  QStringList addresses;
  for (const std::string& address : adapter.ipAddresses) {
    QString text = QString::fromStdString(address);
    for (const IPV4_SUBNET_T& subnet : subnets) {
      if (CGlobalUtils::IpToText(subnet.address) != address) continue;
      text += QStringLiteral("/%1").arg(std::popcount(subnet.mask));
      break;
    }
    addresses << text;
  }
  return name + QStringLiteral("  ") + addresses.join(WindowSeparator());
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

QString CSystemNetworkView::JoinedAddresses(int comboIndex, const QString& separator) const {
  if (comboIndex == 0) {
    QString joined;
    for (const AdapterEntry& adapter : m_adapters)
      joined = Join(adapter.ipAddresses, separator, joined);
    return joined;
  }
  const size_t adapter = static_cast<size_t>(comboIndex - 1);
  return comboIndex > 0 && adapter < m_adapters.size()
             ? Join(m_adapters[adapter].ipAddresses, separator)
             : QString();
}

bool CSystemNetworkView::IsFirstChoice() {
  return Setting(CGlobalUtils::kInterfaceKey, kInterfaceCancelChars).isEmpty();
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
    m_pComboCard->addItem(AdapterItemText(adapter), QString::fromStdString(adapter.szAdapterName));
  };

  if (savedInterface == QLatin1String(kAll)) {
    for (const AdapterEntry& adapter : m_adapters) addAdapterItem(adapter);
    const QString joined = JoinedAddresses(0, FileSeparator());
    SelectSilently(0);
    m_shownIndex = 0;
    m_pLabelIp->setText(JoinedAddresses(0, WindowSeparator()));
    // "All" follows the computer: the stored addresses are brought up to date.
    if (!m_adapters.empty()) {
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kInterfaceKey, kAll);
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kAdapterNameKey, kAll);
      CGlobalUtils::WriteNetConnSetting(CGlobalUtils::kIpKey, joined.toStdString());
    }
    return;
  }

  // The adapter one of whose addresses is among the stored addresses (whole addresses: a saved
  // 192.168.1.10 is not 192.168.1.1) is the saved choice; when several are, the last one wins.
  // An adapter without IPv4 address is found by its saved name.
  const QStringList savedAddresses = savedIp.split(FileSeparator(), Qt::SkipEmptyParts);
  const QString savedName = Setting(CGlobalUtils::kAdapterNameKey, kAdapterNameCompareChars);
  bool matched = false;
  for (size_t i = 0; i < m_adapters.size(); ++i) {
    addAdapterItem(m_adapters[i]);
    bool chosen = m_adapters[i].ipAddresses.empty() && !savedName.isEmpty() &&
                  savedName == QString::fromStdString(m_adapters[i].szAdapterName);
    for (const std::string& address : m_adapters[i].ipAddresses) {
      chosen = chosen || savedAddresses.contains(QString::fromStdString(address).trimmed());
    }
    if (!chosen) continue;
    SelectSilently(static_cast<int>(i) + 1);
    m_pLabelIp->setText(JoinedAddresses(static_cast<int>(i) + 1, WindowSeparator()));
    matched = true;
  }
  if (!matched) {
    SelectSilently(0);
    m_pLabelIp->setText(JoinedAddresses(0, WindowSeparator()));
  }
  if (auto* welcome = FindControl<QLabel>(QStringLiteral("lab_welcome")))
    welcome->setVisible(IsFirstChoice());
}

void CSystemNetworkView::OnAdapterSelected(TNotifyMsg&) {
  if (!m_pComboCard || !m_pLabelIp) return;
  const int index = m_pComboCard->currentIndex();
  if (index == m_shownIndex || index < 0) return;
  m_pLabelIp->setText(JoinedAddresses(index, WindowSeparator()));
  m_shownIndex = index;
}

void CSystemNetworkView::OnBtnOKClicked(TNotifyMsg&) {
  if (!m_pComboCard || !m_pLabelIp) return;
  // "All" in the catalog's own word (what the capture start looks for), else the adapter's
  // system name; the addresses with the settings file's separator.
  const int index = m_pComboCard->currentIndex();
  const QString newAdapterName = m_pComboCard->currentData().toString();
  const QString newInterface = index == 0 ? ItemKeyText(m_pComboCard, index) : newAdapterName;
  const QString newIp = JoinedAddresses(index, FileSeparator());

  if (Setting(CGlobalUtils::kInterfaceKey, kInterfaceCompareChars) == newInterface &&
      Setting(CGlobalUtils::kAdapterNameKey, kAdapterNameCompareChars) == newAdapterName) {
    CloseHostDialog(this, IDCANCEL);
    return;
  }
  if (ShowMessageBox(window(), QStringLiteral("Confirmation"),
                     QStringLiteral("If you change the network interface card, IP Scanner will "
                                    "restart automatically."),
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

void CSystemNetworkView::OnBtnCancelClicked(TNotifyMsg&) { Cancel(); }

void CSystemNetworkView::Cancel() {
  // With no choice ever saved, Cancel confirms what is shown, so that a choice exists.
  if (!IsFirstChoice()) {
    CloseHostDialog(this, IDCANCEL);
  } else {
    TNotifyMsg msg;
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
