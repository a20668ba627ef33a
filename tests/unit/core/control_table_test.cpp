#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/control/control.h"
#include "protocol/reply_records.h"

namespace {

DEVICE_ENTRY_T Entry(const std::string& mac, const std::string& ip,
                     const std::string& workMac = "") {
  return DEVICE_ENTRY_T{ip, mac, workMac.empty() ? mac : workMac, "M1", "1-1", "29.30.1.2"};
}

std::vector<std::string> Macs(const CControl& control) {
  std::vector<std::string> macs;
  for (const DEVICE_ENTRY_T& e : control.GetDeviceList()) macs.push_back(e.mac);
  return macs;
}

TEST(DeviceTable, KeepsFirstSeenOrderAndOverwritesInPlace) {
  CControl control;
  control.UpdateDevice(Entry("021A2B3C4D5E", "10.0.0.1"));
  control.UpdateDevice(Entry("02:1a:2b:3c:4d:5e", "10.0.0.2"));  // another key: exact compare
  control.UpdateDevice(Entry("021A2B3C4D60", "10.0.0.3"));
  DEVICE_ENTRY_T changed = Entry("021A2B3C4D5E", "10.0.0.9");
  changed.firmware = "29.30.1.3";
  control.UpdateDevice(changed);

  EXPECT_EQ(Macs(control),
            (std::vector<std::string>{"021A2B3C4D5E", "02:1a:2b:3c:4d:5e", "021A2B3C4D60"}));
  DEVICE_ENTRY_T found;
  ASSERT_TRUE(control.FindDevice("021A2B3C4D5E", &found));
  EXPECT_EQ(found, changed);
  EXPECT_EQ(control.GetDeviceList()[0], changed);
  EXPECT_FALSE(control.FindDevice("021a2b3c4d5e", &found));
  EXPECT_FALSE(control.FindDevice("021A2B3C4D5E", nullptr));
}

TEST(DeviceTable, RemoveAndClearKeepTheLookupsRight) {
  CControl control;
  for (const char* mac : {"A1", "B2", "C3", "D4"}) control.UpdateDevice(Entry(mac, mac));
  control.RemoveDevice("B2");
  control.RemoveDevice("nope");
  EXPECT_EQ(Macs(control), (std::vector<std::string>{"A1", "C3", "D4"}));

  // Entries behind the removed one moved: updates and lookups must still hit them.
  control.UpdateDevice(Entry("D4", "10.0.0.4"));
  control.UpdateDevice(Entry("B2", "10.0.0.2"));  // comes back at the end
  EXPECT_EQ(Macs(control), (std::vector<std::string>{"A1", "C3", "D4", "B2"}));
  DEVICE_ENTRY_T found;
  ASSERT_TRUE(control.FindDevice("D4", &found));
  EXPECT_EQ(found.ip, "10.0.0.4");
  std::string key;
  ASSERT_TRUE(control.FindDeviceKeyByWorkMac("C3", &key));
  EXPECT_EQ(key, "C3");

  control.ClearDevices();
  EXPECT_TRUE(control.GetDeviceList().empty());
  EXPECT_FALSE(control.FindDevice("A1", &found));
  EXPECT_FALSE(control.FindDeviceKeyByWorkMac("A1", &key));
}

// The window's list looks at the version every second and copies the table only when it moved:
// it must move with every real change and stay when an answer repeats what its entry holds
// (every device answers every round).
TEST(DeviceTable, VersionMovesWithEveryRealChangeOnly) {
  CControl control;
  DEVICE_ENTRY_T newFirmware = Entry("A1", "10.0.0.9");
  newFirmware.firmware = "29.30.1.3";
  const struct {
    const char* step;
    std::function<void()> act;
    bool moves;
  } steps[] = {
      {"a new entry", [&] { control.UpdateDevice(Entry("A1", "10.0.0.1")); }, true},
      {"the same answer again", [&] { control.UpdateDevice(Entry("A1", "10.0.0.1")); }, false},
      {"another entry", [&] { control.UpdateDevice(Entry("B2", "10.0.0.2")); }, true},
      {"a new IP", [&] { control.UpdateDevice(Entry("A1", "10.0.0.9")); }, true},
      {"only the firmware", [&] { control.UpdateDevice(newFirmware); }, true},
      {"that answer again", [&] { control.UpdateDevice(newFirmware); }, false},
      {"a MAC not in the table removed", [&] { control.RemoveDevice("nope"); }, false},
      {"an entry removed", [&] { control.RemoveDevice("B2"); }, true},
      {"the table cleared", [&] { control.ClearDevices(); }, true},
  };
  for (const auto& s : steps) {
    const uint64_t before = control.DeviceTableVersion();
    s.act();
    EXPECT_EQ(control.DeviceTableVersion() != before, s.moves) << s.step;
  }
  control.UpdateDevice(Entry("C3", "10.0.0.3"));
  uint64_t atCopy = 0;
  EXPECT_EQ(control.GetDeviceList(&atCopy).size(), 1u);
  EXPECT_EQ(atCopy, control.DeviceTableVersion());
}

TEST(DeviceTable, SenderKeyComesFromTheFirstEntryWithThatWorkMac) {
  CControl control;
  control.UpdateDevice(Entry("021A2B3C4D5E", "10.0.0.1", "021A2B3C4D5F"));
  control.UpdateDevice(Entry("AAAAAAAAAAAA", "10.0.0.2", "021A2B3C4D5F"));
  std::string key;
  ASSERT_TRUE(control.FindDeviceKeyByWorkMac("021A2B3C4D5F", &key));
  EXPECT_EQ(key, "021A2B3C4D5E");
  // Case and the separators ':', '-' and '.' do not matter; other characters do.
  for (const char* spelling :
       {"021a2b3c4d5f", "02:1A:2B:3C:4D:5F", "02-1a-2b-3c-4d-5f", "021a.2b3c.4d5f"}) {
    key.clear();
    EXPECT_TRUE(control.FindDeviceKeyByWorkMac(spelling, &key)) << spelling;
    EXPECT_EQ(key, "021A2B3C4D5E") << spelling;
  }
  EXPECT_FALSE(control.FindDeviceKeyByWorkMac("02_1A_2B_3C_4D_5F", &key));

  // The first entry now works over another interface: the second one answers for the old MAC.
  control.UpdateDevice(Entry("021A2B3C4D5E", "10.0.0.1", "021A2B3C4D61"));
  ASSERT_TRUE(control.FindDeviceKeyByWorkMac("021A2B3C4D5F", &key));
  EXPECT_EQ(key, "AAAAAAAAAAAA");
  ASSERT_TRUE(control.FindDeviceKeyByWorkMac("021A2B3C4D61", &key));
  EXPECT_EQ(key, "021A2B3C4D5E");

  control.RemoveDevice("AAAAAAAAAAAA");
  EXPECT_FALSE(control.FindDeviceKeyByWorkMac("021A2B3C4D5F", &key));
}

class CountingNotify : public CControlBaseNotify {
public:
  void OnDeviceBootUp(const std::string& key) override { keys.push_back(key); }
  std::vector<std::string> keys;
};

TEST(NotifyList, RegistersOnceAndCallsInOrder) {
  CControl control;
  CountingNotify first, second;
  std::vector<IControlNotify*> order;
  EXPECT_FALSE(control.AddNotify(nullptr));
  EXPECT_TRUE(control.AddNotify(&first));
  EXPECT_FALSE(control.AddNotify(&first));
  EXPECT_TRUE(control.AddNotify(&second));

  control.ForEachNotify([&](IControlNotify* n) {
    order.push_back(n);
    n->OnDeviceBootUp("021A2B3C4D5E");
  });
  EXPECT_EQ(order, (std::vector<IControlNotify*>{&first, &second}));
  EXPECT_EQ(first.keys.size(), 1u);

  EXPECT_TRUE(control.RemoveNotify(&first));
  EXPECT_FALSE(control.RemoveNotify(&first));
  order.clear();
  control.ForEachNotify([&](IControlNotify* n) { order.push_back(n); });
  EXPECT_EQ(order, (std::vector<IControlNotify*>{&second}));
}

// The lock order: notify lock, then device lock (a notify object reading the table on the
// worker thread), while the window's thread changes the table and the notify list at the same
// time, taking each lock on its own in the other order. An operation that took the notify lock
// under the device lock would deadlock here; ThreadSanitizer (the test command runs this test
// under it) reports such an inversion even when the timing lets both threads through.
TEST(NotifyList, ObjectsMayReadTheTableWhileOthersChangeIt) {
  constexpr int kRounds = 20000;
  CControl control;
  control.UpdateDevice(Entry("A1", "10.0.0.1"));
  CountingNotify reader, passing;
  control.AddNotify(&reader);

  std::atomic<int> finished{0};
  std::atomic<bool> go{false};
  size_t largest = 0;
  std::thread worker([&] {  // notify lock, then device lock
    while (!go) std::this_thread::yield();
    for (int i = 0; i < kRounds; ++i) {
      control.ForEachNotify([&](IControlNotify*) {
        DEVICE_ENTRY_T found;
        if (control.FindDevice("A1", &found))
          largest = std::max(largest, control.GetDeviceList().size());
      });
    }
    ++finished;
  });
  std::thread window([&] {  // device lock, then notify lock, one after the other
    while (!go) std::this_thread::yield();
    for (int i = 0; i < kRounds; ++i) {
      const std::string mac = "B" + std::to_string(i % 7);
      control.UpdateDevice(Entry(mac, "10.0.1.1"));
      control.AddNotify(&passing);
      control.RemoveDevice(mac);
      control.RemoveNotify(&passing);
      control.DeviceStatus().OnAnswer("A1");
    }
    ++finished;
  });
  go = true;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (finished < 2 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (finished < 2) {
    // Deadlocked: the threads can neither be joined nor left behind; end the process.
    ADD_FAILURE() << "the two threads deadlocked on the notify and device locks";
    std::fflush(nullptr);
    std::_Exit(1);
  }
  worker.join();
  window.join();
  EXPECT_GE(largest, 1u);
  EXPECT_LE(largest, 2u);
  EXPECT_EQ(Macs(control), std::vector<std::string>{"A1"});
}

MSG_ACK_T Ack(const char16_t* result) {
  MSG_ACK_T ack;
  std::memset(&ack, 0, sizeof ack);
  std::memcpy(ack.szProtocal, u"1.0", 8);
  for (size_t i = 0; result[i] != 0 && i < 31; ++i) ack.szMsgCRC[i] = result[i];
  return ack;
}

TEST(WaitSlot, TakesOnlyTheAwaitedDevicesAcknowledge) {
  CControl control;
  MSG_ACK_T out;
  EXPECT_EQ(control.GetWaitAck(&out), -1);
  // Before any wait the wait MAC is empty; no key may match it.
  const MSG_ACK_T early = Ack(u"1");
  EXPECT_FALSE(control.StoreAwaitedAck("", &early));
  EXPECT_EQ(control.GetWaitAck(&out), -1);

  control.SetWaitMacAndCrc("021A2B3C4D5E", 0);
  const MSG_ACK_T other = Ack(u"2");
  EXPECT_FALSE(control.StoreAwaitedAck("021A2B3C4D60", &other));
  EXPECT_FALSE(control.StoreAwaitedAck("021a2b3c4d5e", &other));
  EXPECT_FALSE(control.StoreAwaitedAck("021A2B3C4D5E", nullptr));
  EXPECT_EQ(control.GetWaitAck(&out), -1);

  const MSG_ACK_T firstAck = Ack(u"3");
  const MSG_ACK_T secondAck = Ack(u"4");  // its CRC differs from the wait CRC: still taken
  ASSERT_TRUE(control.StoreAwaitedAck("021A2B3C4D5E", &firstAck));
  ASSERT_TRUE(control.StoreAwaitedAck("021A2B3C4D5E", &secondAck));
  ASSERT_EQ(control.GetWaitAck(&out), 0);
  EXPECT_EQ(std::memcmp(&out, &secondAck, sizeof out), 0);
  MSG_ACK_T again;
  ASSERT_EQ(control.GetWaitAck(&again), 0);  // reading leaves the slot as it is
  EXPECT_EQ(std::memcmp(&again, &secondAck, sizeof out), 0);
  EXPECT_EQ(control.GetWaitAck(nullptr), -1);

  // A new wait for the same device forgets the acknowledge that came before it.
  control.SetWaitMacAndCrc("021A2B3C4D5E", 7);
  EXPECT_EQ(control.GetWaitAck(&out), -1);
}

TEST(AuthenticateCallback, CallsTheCurrentCallable) {
  CControl control;
  COMMON_ACK_T ack{};
  EXPECT_FALSE(control.InvokeAuthenticateCallback(&ack));
  std::vector<int> calls;
  control.SetAuthenticateCallback([&](COMMON_ACK_T* a) { calls.push_back(1 + (a == &ack)); });
  EXPECT_TRUE(control.InvokeAuthenticateCallback(&ack));
  control.SetAuthenticateCallback([&](COMMON_ACK_T*) { calls.push_back(9); });
  EXPECT_TRUE(control.InvokeAuthenticateCallback(&ack));
  EXPECT_EQ(calls, (std::vector<int>{2, 9}));
  control.SetAuthenticateCallback(nullptr);
  EXPECT_FALSE(control.GetAuthenticateCallback());
}

}  // namespace
