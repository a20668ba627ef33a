// A plain discovery answer needs no key to forge: anyone on the segment can invent MACs by the
// hundred thousand. The device table, the envelope-mode map and the status tracker stop at their
// bound, refuse (and count) the rest, and memory stops growing with them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "protocol/msg_facade.h"
#include "shell/entry_bound.h"
#include "unit/inbound/inbound_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define IPS_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define IPS_UNDER_ASAN 1
#endif
#endif

namespace inbound_test {
namespace {

constexpr int kForged = 200000;
constexpr uint8_t kFrameMac[6] = {0x02, 0x66, 0x00, 0x00, 0x00, 0x01};

double ResidentMb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

std::string ForgedMac(int i) {
  char text[18];
  std::snprintf(text, sizeof(text), "02:66:%02X:%02X:%02X:%02X", (i >> 24) & 0xFF, (i >> 16) & 0xFF,
                (i >> 8) & 0xFF, i & 0xFF);
  return text;
}

PACKET_RECORD_T ForgedAnswer(int i, const std::string& ip = "10.66.0.1") {
  return Received(MSG_DISCOVER_ACK, DiscoverDoc(ForgedMac(i), "", ip, "M", "29.1"), "",
                  Envelope::kPlain, kFrameMac);
}

using ForgedAnswers = InboundTest;

TEST_F(ForgedAnswers, TablesStopAtTheirBoundAndMemoryStopsGrowing) {
  constexpr size_t kBound = CControl::kMaxDevices;
  ASSERT_GE(kBound, 131072u);  // a /16 fits twice
  ASSERT_LT(kBound, static_cast<size_t>(kForged));
  CMsgFacade* facade = CMsgFacade::GetInstance();
  const uint64_t modesRefusedBefore = facade->RefusedEnvelopeModes();

  const double start = ResidentMb();
  int i = 0;
  for (; i < static_cast<int>(kBound); ++i) {
    const PACKET_RECORD_T answer = ForgedAnswer(i);
    ASSERT_EQ(control.OnSocketMsg(&answer), 0) << i;
  }
  const double atBound = ResidentMb();
  for (; i < kForged; ++i) {
    const PACKET_RECORD_T answer = ForgedAnswer(i);
    EXPECT_EQ(control.OnSocketMsg(&answer), -1) << i;
  }
  const double atEnd = ResidentMb();

  const uint64_t refused = static_cast<uint64_t>(kForged) - kBound;
  EXPECT_EQ(control.GetDeviceList().size(), kBound);
  EXPECT_EQ(control.RefusedDevices(), refused);
  EXPECT_EQ(control.DeviceStatus().Snapshot().devices.size(), kBound);
  EXPECT_LE(facade->EnvelopeModes().size(), kBound);
  // A refused device leaves no trace in the other tables either.
  EXPECT_EQ(facade->EnvelopeModes().count("026600030D3F"), 0u);  // the last forged answer
  EXPECT_EQ(facade->RefusedEnvelopeModes(), modesRefusedBefore);

  // A device already in the table keeps being updated once it is full.
  const PACKET_RECORD_T moved = ForgedAnswer(7, "10.66.7.7");
  ASSERT_EQ(control.OnSocketMsg(&moved), 0);
  DEVICE_ENTRY_T entry;
  ASSERT_TRUE(control.FindDevice(ForgedMac(7), &entry));
  EXPECT_EQ(entry.ip, "10.66.7.7");

  std::cout << "forged plain discovery answers: " << kForged
            << ", table entries: " << control.GetDeviceList().size()
            << ", refused: " << control.RefusedDevices() << ", resident MB: start " << start
            << ", at the bound " << atBound << ", after all " << atEnd << "\n";
#ifndef IPS_UNDER_ASAN
  // The refused answers cost no lasting memory (the sanitizer's quarantine would blur this).
  EXPECT_LT(atEnd - atBound, 8.0) << "memory grew past the bound";
#endif
}

TEST(EntryBound, AdmitsUpToItsLimitAndCountsRefusals) {
  CEntryBound bound("test table", 2);
  EXPECT_TRUE(bound.Admit(0));
  EXPECT_TRUE(bound.Admit(1));
  EXPECT_FALSE(bound.Admit(2));
  EXPECT_FALSE(bound.Admit(5));
  EXPECT_EQ(bound.Refused(), 2u);
}

}  // namespace
}  // namespace inbound_test
