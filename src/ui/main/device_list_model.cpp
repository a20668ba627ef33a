#include "ui/main/device_list_model.h"

#include <QStringList>
#include <algorithm>
#include <climits>

#include "core/common/mac_text.h"
#include "ui/main/device_site_marks.h"

namespace {

bool MatchesSearch(const DEVICE_ENTRY_T& entry, const QString& upperSearch) {
  for (const std::string* text :
       {&entry.ip, &entry.mac, &entry.model, &entry.deviceId, &entry.firmware}) {
    if (QString::fromStdString(*text).toUpper().contains(upperSearch)) return true;
  }
  // Devices spell their MACs in several ways, and so do installers: ':', '-' and '.' do not
  // count.
  const std::string typed = MacSearchText(upperSearch.toStdString());
  return !typed.empty() && MacSearchText(entry.mac).find(typed) != std::string::npos;
}

QVariant SiteRoleData(const CDeviceSiteMarks* marks, const std::string& mac, int role) {
  if (!marks) return QString();
  if (role == CDeviceListModel::StatusRole) return marks->StatusName(mac);
  QStringList codes;
  if (const auto* problems = marks->Problems(mac)) {
    for (const SITE_PROBLEM_T& p : *problems)
      codes << QString::fromLatin1(CSiteProblems::Code(p.code));
  }
  return codes.join(',');
}

int Directed(int order, int state) {
  return state == CDeviceListModel::kSortDescending ? -order : order;
}

}  // namespace

CDeviceListModel::CDeviceListModel(QObject* parent) : QAbstractListModel(parent) {}

CDeviceListModel::~CDeviceListModel() = default;

int CDeviceListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant CDeviceListModel::data(const QModelIndex& index, int role) const {
  const CDeviceListItem* row = index.isValid() ? RowAt(index.row()) : nullptr;
  if (!row) return {};
  switch (role) {
    case Qt::DisplayRole:
    case IpRole:
      return row->IpText();
    case IndexRole:
      return row->GetIndex();
    case MacRole:
      return row->MacText();
    case ModelRole:
      return row->ModelText();
    case RoomRole:
      return row->RoomText();
    case FirmwareRole:
      return row->FirmwareText();
    case StatusRole:
    case ProblemsRole:
      return SiteRoleData(m_siteMarks, row->Device().mac, role);
    default:
      return {};
  }
}

QHash<int, QByteArray> CDeviceListModel::roleNames() const {
  return {{IndexRole, "index"},   {IpRole, "ip"},
          {MacRole, "mac"},       {ModelRole, "model"},
          {RoomRole, "room"},     {FirmwareRole, "firmware"},
          {StatusRole, "status"}, {ProblemsRole, "problems"}};
}

const CDeviceListItem* CDeviceListModel::RowAt(int row) const {
  if (row < 0 || row >= Count()) return nullptr;
  CDeviceListItem* item = m_rows[static_cast<size_t>(row)].get();
  if (m_indicesStale) item->SetIndex(static_cast<unsigned>(row + 1));  // numbered when seen
  return item;
}

void CDeviceListModel::Renumber() {
  for (int i = 0; i < Count(); ++i)
    m_rows[static_cast<size_t>(i)]->SetIndex(static_cast<unsigned>(i + 1));
  m_indicesStale = false;
}

const CDeviceListItem* CDeviceListModel::RowFor(const std::string& mac) const {
  auto it = m_byMac.find(CompactMacText(mac));
  return it == m_byMac.end() ? nullptr : it->second;
}

int CDeviceListModel::FindRow(const std::string& mac) const {
  auto it = m_byMac.find(CompactMacText(mac));
  if (it == m_byMac.end()) return -1;
  for (int i = 0; i < Count(); ++i) {
    if (m_rows[static_cast<size_t>(i)].get() == it->second) return i;
  }
  return -1;
}

void CDeviceListModel::RemoveAll() {
  beginResetModel();
  m_byMac.clear();
  m_rows.clear();
  m_indicesStale = false;
  m_orderKnown = false;
  endResetModel();
}

void CDeviceListModel::SetSortStates(int ipState, int modelState) {
  m_ipSort = ipState;
  m_modelSort = modelState;
}

int CDeviceListModel::CompareDeviceRows(const CDeviceListItem* a, const CDeviceListItem* b,
                                        int ipState, int modelState) {
  if (!a || !b) return 1;
  if (ipState != kSortOff && a->IpValid() && b->IpValid() && a->IpNumber() != b->IpNumber()) {
    return Directed(a->IpNumber() < b->IpNumber() ? -1 : 1, ipState);
  }
  if (modelState != kSortOff) {
    int order = a->ModelKey().compare(b->ModelKey());
    if (order != 0) return Directed(order < 0 ? -1 : 1, modelState);
  }
  int order = a->MacKey().compare(b->MacKey());
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool CDeviceListModel::Passes(const DEVICE_ENTRY_T& entry, const QString& modelFilter,
                              const QString& upperSearch) {
  if (entry.mac.empty()) return false;
  if (!modelFilter.isEmpty() && QString::compare(modelFilter, QString::fromStdString(entry.model),
                                                 Qt::CaseInsensitive) != 0) {
    return false;
  }
  return upperSearch.isEmpty() || MatchesSearch(entry, upperSearch);
}

void CDeviceListModel::Refresh(const std::vector<DEVICE_ENTRY_T>& table, const QString& modelFilter,
                               QString& searchText) {
  searchText = searchText.toUpper();
  std::vector<std::unique_ptr<CDeviceListItem>> rows;
  std::unordered_map<std::string, size_t> prepared;  // key -> position in rows
  for (const DEVICE_ENTRY_T& entry : table) {
    if (!Passes(entry, modelFilter, searchText)) continue;
    std::string key = CompactMacText(entry.mac);
    // Two table entries for one MAC (spelt differently): the later one wins, in one row.
    if (auto again = prepared.find(key); again != prepared.end()) {
      rows[again->second] = std::make_unique<CDeviceListItem>(entry);
      continue;
    }
    auto it = m_byMac.find(key);
    if (it != m_byMac.end() && it->second->Device() == entry) continue;
    prepared.emplace(std::move(key), rows.size());
    rows.push_back(std::make_unique<CDeviceListItem>(entry));
  }
  Apply(std::move(rows));
}

void CDeviceListModel::ReserveRows(size_t more) {
  // Twice what is asked for when it must grow: the next look's rows fit too, and the map is
  // rehashed while it is small (a rehash of a large one costs a slice of its own).
  const size_t wanted = m_rows.size() + more;
  if (m_rows.capacity() < wanted) m_rows.reserve(2 * wanted);
  if (static_cast<float>(wanted) >
      static_cast<float>(m_byMac.bucket_count()) * m_byMac.max_load_factor())
    m_byMac.reserve(2 * wanted);
}

void CDeviceListModel::Apply(std::vector<std::unique_ptr<CDeviceListItem>> rows) {
  // Nothing new and the order asked for unchanged: no row can move.
  if (rows.empty() && m_sortedIp == m_ipSort && m_sortedModel == m_modelSort) return;
  if (m_sortedIp != m_ipSort || m_sortedModel != m_modelSort) m_orderKnown = false;
  m_sortedIp = m_ipSort;
  m_sortedModel = m_modelSort;
  int firstChanged = INT_MAX;
  int lastChanged = -1;
  std::vector<std::unique_ptr<CDeviceListItem>> added;
  for (auto& prepared : rows) {
    auto it = m_byMac.find(prepared->Key());
    if (it == m_byMac.end()) {
      m_byMac.emplace(prepared->Key(), prepared.get());
      added.push_back(std::move(prepared));
      continue;
    }
    CDeviceListItem* row = it->second;
    if (row->Device() == prepared->Device()) continue;  // a full look: most rows stay as they are
    if (row->IpValid() != prepared->IpValid() || row->IpNumber() != prepared->IpNumber() ||
        row->ModelKey() != prepared->ModelKey()) {
      m_orderKnown = false;  // the row may have to move
    }
    row->TakeDeviceInfo(std::move(*prepared));
    if (m_indicesStale) Renumber();
    if (row->GetIndex() > 0) {  // rows added in this pass are not numbered yet
      int position = static_cast<int>(row->GetIndex()) - 1;
      firstChanged = std::min(firstChanged, position);
      lastChanged = std::max(lastChanged, position);
    }
  }

  const size_t firstAdded = m_rows.size();
  if (!added.empty()) {
    int first = Count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added.size()) - 1);
    if (m_rows.capacity() < m_rows.size() + added.size())
      m_rows.reserve(std::max(m_rows.size() + added.size(), m_rows.size() * 2));
    for (auto& row : added) m_rows.push_back(std::move(row));
    endInsertRows();
  }

  bool moved = false;
  if (m_ipSort != kSortOff || m_modelSort != kSortOff) moved = SortRows(firstAdded);
  if (moved || m_indicesStale) {
    // Rows moved: the view lays out and draws every row in view anew, numbers included. The
    // rows are numbered when they are next looked at (RowAt), not all of them now.
    m_indicesStale = true;
  } else {
    for (size_t i = firstAdded; i < m_rows.size(); ++i)
      m_rows[i]->SetIndex(static_cast<unsigned>(i + 1));
  }
  if (lastChanged >= 0) {
    emit dataChanged(index(firstChanged), index(lastChanged));
  }
}

bool CDeviceListModel::SortRows(size_t firstAdded) {
  // The pairwise rule (numeric IP only when both are valid, else the MAC) is not transitive
  // when valid and invalid addresses mix; a merge sort stays within bounds whatever the
  // comparison returns, where a quicksort may not.
  auto less = [this](const std::unique_ptr<CDeviceListItem>& a,
                     const std::unique_ptr<CDeviceListItem>& b) {
    return CompareDeviceRows(a.get(), b.get(), m_ipSort, m_modelSort) < 0;
  };
  const auto split = m_rows.begin() + static_cast<std::ptrdiff_t>(firstAdded);
  // The rows before the new ones are known to be in order (sorted before, none changed its
  // keys since): only the new ones need looking at.
  const bool prefixSorted = m_orderKnown || std::is_sorted(m_rows.begin(), split, less);
  if (prefixSorted && std::is_sorted(split, m_rows.end(), less) &&
      (split == m_rows.begin() || split == m_rows.end() || !less(*split, *(split - 1)))) {
    m_orderKnown = true;
    return false;
  }

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList persistent = persistentIndexList();
  std::vector<const CDeviceListItem*> persistentRows;
  persistentRows.reserve(static_cast<size_t>(persistent.size()));
  for (const QModelIndex& index : persistent)
    persistentRows.push_back(m_rows[static_cast<size_t>(index.row())].get());

  if (prefixSorted && firstAdded > 0) {
    // New rows behind a list in order (a discovery filling a large list): each finds its place
    // by a binary search, and the list is rebuilt by moving runs of rows, not by comparing
    // every row. Equal rows keep their order, as in the sort below.
    std::stable_sort(split, m_rows.end(), less);
    std::vector<std::unique_ptr<CDeviceListItem>> merged;
    merged.swap(m_mergeSpare);
    merged.clear();
    merged.reserve(m_rows.capacity());
    auto from = m_rows.begin();
    for (auto fresh = split; fresh != m_rows.end(); ++fresh) {
      auto at = std::upper_bound(from, split, *fresh, less);
      std::move(from, at, std::back_inserter(merged));
      merged.push_back(std::move(*fresh));
      from = at;
    }
    std::move(from, split, std::back_inserter(merged));
    m_rows.swap(merged);
    merged.clear();  // only moved-from pointers
    m_mergeSpare.swap(merged);
  } else {
    std::stable_sort(m_rows.begin(), m_rows.end(), less);
  }
  m_orderKnown = true;

  if (!persistent.isEmpty()) {
    QModelIndexList movedTo;
    movedTo.reserve(persistent.size());
    if (persistent.size() <= 16) {
      // A few (the current row, a selection): a pass over the pointers each, no map.
      for (const CDeviceListItem* row : persistentRows) {
        auto it = std::find_if(m_rows.begin(), m_rows.end(),
                               [row](const auto& candidate) { return candidate.get() == row; });
        movedTo.push_back(it == m_rows.end() ? QModelIndex()
                                             : index(static_cast<int>(it - m_rows.begin())));
      }
    } else {
      std::unordered_map<const CDeviceListItem*, int> position;
      position.reserve(m_rows.size());
      for (int i = 0; i < Count(); ++i) position.emplace(m_rows[static_cast<size_t>(i)].get(), i);
      for (const CDeviceListItem* row : persistentRows) {
        auto it = position.find(row);
        movedTo.push_back(it == position.end() ? QModelIndex() : index(it->second));
      }
    }
    changePersistentIndexList(persistent, movedTo);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  return true;
}

QString CDeviceListModel::DumpText() const {
  QString text;
  for (int i = 0; i < Count(); ++i) {
    const CDeviceListItem* row = RowAt(i);
    QStringList fields{row->IndexText(), row->IpText(),   row->MacText(),
                       row->ModelText(), row->RoomText(), row->FirmwareText()};
    // The site columns: the live status ("missing", "back", ...) and the problem codes.
    QString status;
    QStringList problems;
    if (m_siteMarks != nullptr) {
      status = m_siteMarks->StatusName(row->Device().mac);
      if (const auto* found = m_siteMarks->Problems(row->Device().mac)) {
        for (const SITE_PROBLEM_T& p : *found)
          problems << QLatin1String(CSiteProblems::Code(p.code));
      }
    }
    fields << status << problems.join(',');
    text += fields.join('\t');
    text += '\n';
  }
  return text;
}
