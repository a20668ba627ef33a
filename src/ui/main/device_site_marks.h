#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <map>
#include <vector>

#include "core/common/device_entry.h"
#include "core/site/device_status.h"
#include "core/site/site_problems.h"

class QPainter;

// The live status and the problems of the listed devices as the rows show them: a status dot
// (online, new, back, missing), a problem badge with the explanation as its tooltip, and missing
// rows drawn muted. Updated from the control core with every refresh of the list; drawn on top
// of what the row painter draws, so the rows themselves stay as they are.
class CDeviceSiteMarks {
public:
  // The state of one refresh, worked out on any thread (the problems over a large table take
  // a while): the statuses of the tracker, the problems, the adapter's networks and when.
  struct STATE_T {
    STATUS_SNAPSHOT_T status;
    SiteProblemMap problems;
    std::vector<IPV4_SUBNET_T> subnets;
    qint64 wallMs = 0;
  };
  static STATE_T Compute(const std::vector<DEVICE_ENTRY_T>& table, STATUS_SNAPSHOT_T status,
                         std::vector<IPV4_SUBNET_T> subnets);
  // Takes a computed state; `state` is left with the previous one, for the caller to drop
  // where freeing it costs the UI thread nothing.
  void Adopt(STATE_T& state);
  // Nothing changed since the state adopted last but the time: the tracker's (now) and the
  // wall clock's. True when a restarting mark ran out (the rows need a repaint).
  bool KeepAt(std::chrono::milliseconds now, qint64 wallMs);

  // Takes the state of this refresh: the statuses of the tracker and the problems over the table.
  void Update(const std::vector<DEVICE_ENTRY_T>& table, STATUS_SNAPSHOT_T status,
              std::vector<IPV4_SUBNET_T> subnets);

  // A reboot or reset was sent to this device: its row says it restarts until the device is
  // heard again a while after the command (or, at the latest, a few minutes on).
  void MarkRestarting(const std::string& mac);
  bool IsRestarting(const std::string& mac) const { return m_restarting.count(mac) != 0; }
  bool AnyRestarting() const { return !m_restarting.empty(); }
  // The MACs whose rows carry a badge (a problem, or restarting).
  std::vector<std::string> MarkedMacs() const;

  // Devices of the table with at least one problem.
  int ProblemCount() const { return static_cast<int>(m_problems.size()); }
  bool HasProblem(const std::string& mac) const { return m_problems.count(mac) != 0; }
  DEVICE_LIVE_T Live(const std::string& mac) const { return m_status.LiveOf(mac); }
  const std::vector<SITE_PROBLEM_T>* Problems(const std::string& mac) const;

  // Where the dot and the badge of a row lie, given the free spaces the row painter leaves for
  // them (before the index, after the firmware text). The badge shows its text when the space
  // holds it and shrinks to "!" when not; it is empty for a device without problems.
  static QRect DotRect(const QRect& dotSpace);
  QRect BadgeRect(const std::string& mac, const QRect& badgeSpace, bool* compact = nullptr) const;
  // The width the badge needs to show its words (0 without a badge), so the list can give its
  // column that much.
  int BadgeWidth(const std::string& mac) const;

  // Draws the marks of one row over what the row painter drew; a missing row is muted first.
  void Paint(QPainter* painter, const QRect& rowRect, const QColor& background,
             const std::string& mac, const QRect& dotSpace, const QRect& badgeSpace) const;

  // "online", "new", "back", "missing"; "" for a device the tracker has not heard.
  QString StatusName(const std::string& mac) const;
  // "Online", "New device", "Missing, last seen 13:04:41", ...
  QString StatusToolTip(const std::string& mac) const;
  // The explanation of each problem, one paragraph each; for an address problem the window can
  // fix, a last line saying that a click on the badge offers the fix.
  QString ProblemToolTip(const std::string& mac) const;
  // The device sits outside the adapter's subnet or shares its IP: "Fix…" can move it.
  bool HasAddressProblem(const std::string& mac) const;
  // The badge's text: "Restarting", the short text of the only problem, or "N problems".
  QString BadgeText(const std::string& mac) const;
  // The site cells of the export: status and problems.
  std::vector<std::string> CsvCells(const DEVICE_ENTRY_T& device) const;

  // What the status dots mean, for the footer: each dot in its colour and its word, in the
  // catalog's language (our own texts only, so rich text is safe here).
  static QString LegendHtml();

  // The tracker's time as a wall-clock "hh:mm:ss".
  QString ClockText(std::chrono::milliseconds trackerTime) const;

private:
  // Drops the restarting marks of devices heard again (or given up on); true when any went.
  bool EndRestartMarks();

  STATUS_SNAPSHOT_T m_status;
  SiteProblemMap m_problems;
  std::vector<IPV4_SUBNET_T> m_subnets;
  qint64 m_wallMsAtSnapshot = 0;
  std::map<std::string, std::chrono::milliseconds>
      m_restarting;  // MAC -> tracker time of the command
};
