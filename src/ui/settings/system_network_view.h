#pragma once

#include <functional>
#include <vector>

#include "shell/global_utils.h"
#include "ui/framework/base_view.h"

class QComboBox;
class QLabel;

// The network tab ("SystemNetworkView.xml"): "All", then every adapter of the computer in
// "combo_card" with its IPv4 addresses and prefix lengths, and the chosen entry's addresses in
// "lab_ip", joined by ", ". The choice is kept in [NET_CONN_SETTING] of the settings file
// (Interface: the adapter's system name or "All"; IP: the addresses joined by "、"); confirming
// a different one restarts the program, because capture opens adapters only when it starts.
// Before any choice was saved (the first start), a welcome line heads the tab.
class CSystemNetworkView : public CBaseView {
  Q_OBJECT
public:
  explicit CSystemNetworkView(QWidget* parent);

  // Test seams. The adapter source replaces the computer's adapters; the restart hook runs
  // instead of the hand-over to a new instance. Empty functions restore the defaults.
  using AdapterSource = std::function<std::vector<AdapterEntry>()>;
  using RestartHook = std::function<void()>;
  static void SetAdapterSource(AdapterSource source);
  static void SetRestartHook(RestartHook hook);

  void DoInit() override;
  QComboBox* GetAdapterCombo() const { return m_pComboCard; }
  QLabel* GetAddressLabel() const { return m_pLabelIp; }
  // True while no adapter choice has been saved yet.
  static bool IsFirstChoice();
  // The Cancel button's action (with no choice saved yet, it confirms what is shown).
  void Cancel();

  IPS_DECLARE_MESSAGE_MAP()

protected:
  void OnLanguageChanged() override;

private:
  void FillAdapterCombo();
  // The addresses of the entry, joined by `separator` (the settings file's or the window's).
  QString JoinedAddresses(int comboIndex, const QString& separator) const;
  void SelectSilently(int index);
  void OnAdapterSelected(TNotifyMsg& msg);
  void OnBtnOKClicked(TNotifyMsg& msg);
  void OnBtnCancelClicked(TNotifyMsg& msg);
  // Hands over to a new instance of the program and ends this one with exit code 1.
  void RestartIPScanner();

  int m_shownIndex = -1;
  std::vector<AdapterEntry> m_adapters;
  QComboBox* m_pComboCard = nullptr;
  QLabel* m_pLabelIp = nullptr;
};
