#include "ui/main/device_site_marks.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>
#include <algorithm>

#include "core/export/csv_site_columns.h"
#include "ui/framework/translate_manager.h"

namespace {

constexpr int kDot = 8;
constexpr int kBadgeHeight = 18;
// A device that answers this long after a reboot command has come back; one that stays silent
// is left to its missing status after the longer time.
constexpr std::chrono::milliseconds kRestartQuiet{10000};
constexpr std::chrono::milliseconds kRestartGiveUp{180000};

std::string Tr(const std::string& key) { return TrText(QString::fromStdString(key)).toStdString(); }

QFont BadgeFont() {
  QFont font;
  font.setPointSizeF(8);
  font.setBold(true);
  return font;
}

QColor DotColor(const DEVICE_LIVE_T& live) {
  if (live.status == EDeviceStatus::kMissing) return QColor("#9ca3af");  // grey: quiet
  if (live.isNew) return QColor("#2463eb");                              // blue: new
  if (live.status == EDeviceStatus::kBack) return QColor("#0d9488");     // teal: back again
  return QColor("#16a34a");                                              // green: online
}

}  // namespace

CDeviceSiteMarks::STATE_T CDeviceSiteMarks::Compute(const std::vector<DEVICE_ENTRY_T>& table,
                                                    STATUS_SNAPSHOT_T status,
                                                    std::vector<IPV4_SUBNET_T> subnets) {
  STATE_T state;
  state.status = std::move(status);
  state.wallMs = QDateTime::currentMSecsSinceEpoch();
  state.subnets = std::move(subnets);
  state.problems = CSiteProblems::Compute(table, state.subnets);
  return state;
}

void CDeviceSiteMarks::Update(const std::vector<DEVICE_ENTRY_T>& table, STATUS_SNAPSHOT_T status,
                              std::vector<IPV4_SUBNET_T> subnets) {
  STATE_T state = Compute(table, std::move(status), std::move(subnets));
  Adopt(state);
}

void CDeviceSiteMarks::Adopt(STATE_T& state) {
  std::swap(m_status, state.status);
  std::swap(m_wallMsAtSnapshot, state.wallMs);
  std::swap(m_subnets, state.subnets);
  std::swap(m_problems, state.problems);
  EndRestartMarks();
}

bool CDeviceSiteMarks::KeepAt(std::chrono::milliseconds now, qint64 wallMs) {
  m_status.now = now;
  m_wallMsAtSnapshot = wallMs;
  return EndRestartMarks();
}

bool CDeviceSiteMarks::EndRestartMarks() {
  return std::erase_if(m_restarting, [this](const auto& mark) {
           const DEVICE_LIVE_T live = m_status.LiveOf(mark.first);
           return (live.known && live.lastSeen >= mark.second + kRestartQuiet) ||
                  m_status.now >= mark.second + kRestartGiveUp;
         }) != 0;
}

std::vector<std::string> CDeviceSiteMarks::MarkedMacs() const {
  std::vector<std::string> macs;
  macs.reserve(m_problems.size() + m_restarting.size());
  for (const auto& [mac, problems] : m_problems) macs.push_back(mac);
  for (const auto& [mac, since] : m_restarting) {
    if (!m_problems.count(mac)) macs.push_back(mac);
  }
  return macs;
}

void CDeviceSiteMarks::MarkRestarting(const std::string& mac) { m_restarting[mac] = m_status.now; }

const std::vector<SITE_PROBLEM_T>* CDeviceSiteMarks::Problems(const std::string& mac) const {
  const auto it = m_problems.find(mac);
  return it == m_problems.end() ? nullptr : &it->second;
}

QString CDeviceSiteMarks::ClockText(std::chrono::milliseconds trackerTime) const {
  const qint64 wall = m_wallMsAtSnapshot - (m_status.now - trackerTime).count();
  return QDateTime::fromMSecsSinceEpoch(wall).toString(QStringLiteral("hh:mm:ss"));
}

QString CDeviceSiteMarks::LegendHtml() {
  DEVICE_LIVE_T online;
  DEVICE_LIVE_T fresh;
  fresh.isNew = true;
  DEVICE_LIVE_T back;
  back.status = EDeviceStatus::kBack;
  DEVICE_LIVE_T missing;
  missing.status = EDeviceStatus::kMissing;
  const std::pair<const DEVICE_LIVE_T*, const char*> entries[] = {
      {&online, "Online"}, {&fresh, "New"}, {&back, "Back"}, {&missing, "Missing"}};
  QStringList parts;
  for (const auto& [live, key] : entries) {
    parts << QStringLiteral("<span style=\"color:%1\">\u25CF</span>&nbsp;%2")
                 .arg(DotColor(*live).name(), TrText(QString::fromLatin1(key)).toHtmlEscaped());
  }
  return parts.join(QStringLiteral("&nbsp;&nbsp;&nbsp;"));
}

QRect CDeviceSiteMarks::DotRect(const QRect& dotSpace) {
  if (dotSpace.isEmpty()) return {};
  return QRect(dotSpace.center().x() - kDot / 2 + 1, dotSpace.center().y() - kDot / 2 + 1, kDot,
               kDot);
}

QString CDeviceSiteMarks::BadgeText(const std::string& mac) const {
  if (IsRestarting(mac)) return TrText(QStringLiteral("Restarting"));
  const auto* problems = Problems(mac);
  if (problems == nullptr || problems->empty()) return {};
  if (problems->size() == 1) {
    return QString::fromStdString(CSiteProblems::ShortText(problems->front().code, Tr));
  }
  return TrText(QStringLiteral("%1 problems")).arg(problems->size());
}

int CDeviceSiteMarks::BadgeWidth(const std::string& mac) const {
  const QString text = BadgeText(mac);
  return text.isEmpty() ? 0 : QFontMetrics(BadgeFont()).horizontalAdvance(text) + 16;
}

QRect CDeviceSiteMarks::BadgeRect(const std::string& mac, const QRect& badgeSpace,
                                  bool* compact) const {
  const QString text = BadgeText(mac);
  if (text.isEmpty() || badgeSpace.width() < kBadgeHeight) return {};
  const int full = BadgeWidth(mac);
  const bool shrink = full > badgeSpace.width();
  if (compact) *compact = shrink;
  const int width = shrink ? kBadgeHeight : full;
  return QRect(badgeSpace.right() - width + 1, badgeSpace.center().y() - kBadgeHeight / 2 + 1,
               width, kBadgeHeight);
}

void CDeviceSiteMarks::Paint(QPainter* painter, const QRect& rowRect, const QColor& background,
                             const std::string& mac, const QRect& dotSpace,
                             const QRect& badgeSpace) const {
  const DEVICE_LIVE_T live = Live(mac);
  painter->save();
  if (live.known && live.status == EDeviceStatus::kMissing) {
    // Muted: the row's own colour laid over its texts and buttons, so they fade but stay legible.
    QColor veil = background;
    veil.setAlpha(150);
    painter->fillRect(rowRect, veil);
  }
  painter->setRenderHint(QPainter::Antialiasing);
  if (live.known) {
    painter->setPen(Qt::NoPen);
    painter->setBrush(DotColor(live));
    painter->drawEllipse(DotRect(dotSpace));
  }
  bool compact = false;
  const QRect badge = BadgeRect(mac, badgeSpace, &compact);
  if (!badge.isEmpty()) {
    painter->setPen(Qt::NoPen);
    const bool restarting = IsRestarting(mac);  // news, not a fault: blue, not red
    painter->setBrush(compact ? QColor(restarting ? "#2463eb" : "#dc2626")
                              : QColor(restarting ? "#e8f0fe" : "#fde8e8"));
    painter->drawRoundedRect(badge, kBadgeHeight / 2.0, kBadgeHeight / 2.0);
    painter->setFont(BadgeFont());
    painter->setPen(compact ? QColor("#ffffff") : QColor(restarting ? "#1d4ed8" : "#b91c1c"));
    painter->drawText(badge, Qt::AlignCenter, compact ? QStringLiteral("!") : BadgeText(mac));
  }
  painter->restore();
}

QString CDeviceSiteMarks::StatusName(const std::string& mac) const {
  const DEVICE_LIVE_T live = Live(mac);
  if (!live.known) return {};
  if (live.status == EDeviceStatus::kOnline && live.isNew) return QStringLiteral("new");
  return QString::fromLatin1(StatusText(live.status));
}

QString CDeviceSiteMarks::StatusToolTip(const std::string& mac) const {
  const DEVICE_LIVE_T live = Live(mac);
  if (!live.known) return {};
  switch (live.status) {
    case EDeviceStatus::kMissing:
      return TrText(QStringLiteral("Missing, last seen %1")).arg(ClockText(live.lastSeen));
    case EDeviceStatus::kBack:
      return TrText(QStringLiteral("Back online since %1, first seen %2"))
          .arg(ClockText(live.lastSeen), ClockText(live.firstSeen));
    case EDeviceStatus::kOnline:
    default:
      return live.isNew ? TrText(QStringLiteral("New device, first seen %1"))
                              .arg(ClockText(live.firstSeen))
                        : TrText(QStringLiteral("Online"));
  }
}

QString CDeviceSiteMarks::ProblemToolTip(const std::string& mac) const {
  const auto* problems = Problems(mac);
  if (problems == nullptr) return {};
  QStringList parts;
  for (const SITE_PROBLEM_T& p : *problems) {
    parts << QStringLiteral("<b>%1</b><br>%2")
                 .arg(QString::fromStdString(CSiteProblems::ShortText(p.code, Tr)).toHtmlEscaped(),
                      QString::fromStdString(CSiteProblems::Explanation(p, m_subnets, Tr))
                          .toHtmlEscaped());
  }
  if (HasAddressProblem(mac))
    parts << QStringLiteral("<i>%1</i>")
                 .arg(
                     TrText(QStringLiteral("Click the badge to fix the address.")).toHtmlEscaped());
  return parts.join(QStringLiteral("<br><br>"));
}

bool CDeviceSiteMarks::HasAddressProblem(const std::string& mac) const {
  const auto* problems = Problems(mac);
  if (problems == nullptr) return false;
  return std::any_of(problems->begin(), problems->end(), [](const SITE_PROBLEM_T& p) {
    return p.code == EProblemCode::kOutsideSubnet || p.code == EProblemCode::kDuplicateIp;
  });
}

std::vector<std::string> CDeviceSiteMarks::CsvCells(const DEVICE_ENTRY_T& device) const {
  return CCsvSiteColumns::StatusAndProblems(Live(device.mac), Problems(device.mac), Tr);
}
