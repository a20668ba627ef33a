#pragma once

#include <QAbstractListModel>
#include <QString>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "ui/main/device_list_item.h"

class CDeviceSiteMarks;

// The rows of the main window's device list and the rules that keep them up to date: filter by
// model, search over five texts (the MAC in any spelling), one row per MAC (ignoring case), sort
// by IP or model, number from 1. Rows are added or updated by Refresh, never removed by it; only
// RemoveAll empties the list. Works without a window, so the rules are tested on their own.
class CDeviceListModel : public QAbstractListModel {
  Q_OBJECT
public:
  enum Role {
    IndexRole = Qt::UserRole + 1,
    IpRole,
    MacRole,
    ModelRole,
    RoomRole,
    FirmwareRole,
    StatusRole,    // "online", "new", "back" or "missing"; "" for a device the tracker lacks
    ProblemsRole,  // codes of the device's problems, comma-separated
  };

  // Sort states as the sort buttons keep them.
  enum SortState { kSortOff = 0, kSortAscending = 1, kSortDescending = 2 };

  explicit CDeviceListModel(QObject* parent = nullptr);
  ~CDeviceListModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  int Count() const { return static_cast<int>(m_rows.size()); }
  const CDeviceListItem* RowAt(int row) const;
  // Position of the row whose MAC equals mac ignoring case; -1 when there is none.
  int FindRow(const std::string& mac) const;

  // Deletes every row.
  void RemoveAll();

  // Brings the rows up to date with a copy of the device table. searchText is upper-cased in
  // place (the window keeps it that way); an empty modelFilter or searchText filters nothing.
  void Refresh(const std::vector<DEVICE_ENTRY_T>& table, const QString& modelFilter,
               QString& searchText);

  // Whether a device passes the model filter and the search (upperSearch upper-cased); the
  // filter Refresh applies, for callers that prepare rows elsewhere.
  static bool Passes(const DEVICE_ENTRY_T& entry, const QString& modelFilter,
                     const QString& upperSearch);
  // Takes rows prepared for devices that passed the filters: a row for a MAC the list has
  // replaces that row's record, any other is added. Sorts and numbers as Refresh does; without
  // rows, and with the sort states of the last call, nothing can move, so nothing is done.
  void Apply(std::vector<std::unique_ptr<CDeviceListItem>> rows);
  // Up to `more` rows are on their way (Apply in slices): room for them is made once, not
  // slice by slice.
  void ReserveRows(size_t more);
  // The row for this MAC (ignoring case); null when the list has none.
  const CDeviceListItem* RowFor(const std::string& mac) const;

  void SetSortStates(int ipState, int modelState);
  int IpSortState() const { return m_ipSort; }
  int ModelSortState() const { return m_modelSort; }

  // Negative when a goes first: numeric IPv4 order when the IP state is on and both addresses
  // are valid, then the model ignoring case when the model state is on, then the MAC ignoring
  // case (always ascending). A missing row gives 1.
  static int CompareDeviceRows(const CDeviceListItem* a, const CDeviceListItem* b, int ipState,
                               int modelState);

  // Where StatusRole and ProblemsRole come from (null: empty).
  void SetSiteMarks(const CDeviceSiteMarks* marks) { m_siteMarks = marks; }

  // One line per row, tab-separated: index, IP, MAC, model, room number, firmware, live status
  // ("new", "online", "missing", "back"; empty when never heard) and the problem codes
  // separated by ',' (empty when none). Invokable,
  // so tools that read item views by their model (the GUI test driver) get the rows as shown.
  Q_INVOKABLE QString DumpText() const;

private:
  bool SortRows(size_t firstAdded);
  void Renumber();

  std::vector<std::unique_ptr<CDeviceListItem>> m_rows;
  std::unordered_map<std::string, CDeviceListItem*> m_byMac;  // CompactMacText -> row
  // The row list before the last merge, kept for the next one: a large list filled in slices
  // does not take fresh memory (and its page faults) for every slice.
  std::vector<std::unique_ptr<CDeviceListItem>> m_mergeSpare;
  int m_ipSort = kSortAscending;
  int m_modelSort = kSortOff;
  int m_sortedIp = -1;  // the sort states of the last Apply
  int m_sortedModel = -1;
  bool m_orderKnown = false;  // the rows are in the order of those states, as far as Apply knows
  // Rows moved since they were last numbered all at once: a row's number is set when RowAt
  // hands it out (the view asks only for the rows it shows).
  mutable bool m_indicesStale = false;
  const CDeviceSiteMarks* m_siteMarks = nullptr;
};
