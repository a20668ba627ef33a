#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/common/device_entry.h"
#include "core/control/site_look.h"
#include "ui/main/device_list_item.h"
#include "ui/main/device_site_marks.h"

// What the list shows and filters by when it asks for a look.
struct DEVICE_LIST_ASK_T {
  uint64_t generation = 0;  // the list's fill: a look for an older one is not applied
  QString modelFilter;      // "" for every model
  QString upperSearch;      // upper-cased; "" for no search
  bool problemsOnly = false;
  // The window waits for devices' answer times (a row says "restarting"): every look brings
  // the tracker's statuses, changed or not.
  bool freshStatus = false;
};

// One look at the control core, worked out for the list.
struct DEVICE_LIST_LOOK_T {
  uint64_t generation = 0;
  // Nothing the list shows changed since the last look of the generation: `site` holds only
  // the time (status.now, wallMs), and `rows` is empty.
  bool siteKept = false;
  CDeviceSiteMarks::STATE_T site;
  // Rows for the devices that pass the filters and are new or changed since the last look of
  // the same generation, in table order: what the list model's Apply takes.
  std::vector<std::unique_ptr<CDeviceListItem>> rows;
  int tableCount = 0;   // devices in the control core's table
  int onlineCount = 0;  // of them, those not missing
};

// The main window's once-a-second look at the control core, off the UI thread: the copy of
// the device table, the status snapshot, the site's problems, the site record's problems and
// the rows that changed, so that the UI thread only applies what moved. Most seconds nothing
// moved (devices answer the same every round): the table's version and the tracker say so, and
// the look costs next to nothing. A look for an ask is
// handed to `deliver` on the owner's thread; asks that come while one is being worked out are
// folded into the latest. Spent looks come back (Discard) so their memory is freed here too.
class CDeviceListFeed {
public:
  struct SOURCES_T {
    // The table and its version (CControl::GetDeviceList), the version alone.
    std::function<std::vector<DEVICE_ENTRY_T>(uint64_t* version)> table;
    std::function<uint64_t()> tableVersion;
    std::function<STATUS_SNAPSHOT_T()> status;
    std::function<bool(const STATUS_STAMP_T&, std::chrono::milliseconds* now)> statusChanged;
    std::function<std::vector<IPV4_SUBNET_T>()> subnets;
    // Called on the feed's thread with the table and problems of every look in which the
    // table or the networks changed (may be empty).
    std::function<void(const std::vector<DEVICE_ENTRY_T>&, const SiteProblemMap&)> record;
  };
  using Deliver = std::function<void(std::shared_ptr<DEVICE_LIST_LOOK_T>)>;

  // owner: where looks are delivered; it must call Stop (or destroy the feed) in its destructor.
  CDeviceListFeed(QObject* owner, SOURCES_T sources, Deliver deliver);
  ~CDeviceListFeed();  // waits for the look in progress
  CDeviceListFeed(const CDeviceListFeed&) = delete;
  CDeviceListFeed& operator=(const CDeviceListFeed&) = delete;

  void Ask(DEVICE_LIST_ASK_T ask);
  void Discard(std::shared_ptr<DEVICE_LIST_LOOK_T> spent);
  // Ends the thread; no look is delivered after it returns.
  void Stop();

private:
  void Run();
  std::shared_ptr<DEVICE_LIST_LOOK_T> Look(const DEVICE_LIST_ASK_T& ask);

  QObject* m_owner;  // outlives the thread: its destructor stops the feed first
  SOURCES_T m_sources;
  Deliver m_deliver;

  std::mutex m_lock;
  std::condition_variable m_wake;
  bool m_stop = false;
  bool m_asked = false;
  DEVICE_LIST_ASK_T m_ask;
  std::vector<std::shared_ptr<DEVICE_LIST_LOOK_T>> m_spent;

  // The feed thread's own: what the last look of m_generation gave the list, by MAC as the
  // table has it.
  uint64_t m_generation = ~0ull;
  std::unordered_map<std::string, DEVICE_ENTRY_T> m_given;
  // The site now: a look at an unchanged table neither copies it nor works out the problems
  // again nor goes through the rows, and one at unchanged statuses takes no snapshot either.
  CSiteLook m_site;
  DEVICE_LIST_ASK_T m_lastAsk;
  std::thread m_thread;
};
