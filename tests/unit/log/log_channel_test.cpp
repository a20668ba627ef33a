#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/comm_control.h"
#include "shell/log.h"
#include "shell/log_record.h"
#include "unit/log/loopback_receiver.h"

namespace {

LOG_RECORD_T Decode(const std::vector<uint8_t>& d) {
  LOG_RECORD_T record;
  std::string error;
  EXPECT_TRUE(DecodeLogDatagram(d.data(), d.size(), &record, &error)) << error;
  return record;
}

// The process-wide channel, pointed at a receiver on an unprivileged port. Lines written
// before Init must not arrive: the first datagram the viewer sees is the first line after it.
TEST(LogChannel, DropsLinesBeforeInitThenSendsOneDatagramPerLine) {
  LoopbackReceiver viewer;
  CCommControl* comm = CCommControl::GetInstance();
  comm->Channel().Close();  // as at start-up (the test may run repeatedly in one process)

  LogInfo("before init %d", 1);
  LogError("before init %d", 2);

  comm->Channel().SetPorts(FreeLoopbackPort(), 16, viewer.port());
  ASSERT_EQ(comm->Init(), 0);

  LogDebug("debug %s %d", "line", 7);
  LogInfo("Init successs.");
  LogError("%s: ParseDiscoverAckMsg failed.", "CControl::OnSocketMsg");
  LogInfo("%s", std::string(600, 'x').c_str());

  struct Expected {
    int level;
    std::string text;
    size_t bytes;
  };
  const std::vector<Expected> expected = {
      {7, "debug line 7", 36 + 2 * 12},
      {6, "Init successs.", 64},
      {3, "CControl::OnSocketMsg: ParseDiscoverAckMsg failed.", 36 + 2 * 50},
      {6, std::string(511, 'x'), 36 + 2 * 511},
  };
  for (const Expected& e : expected) {
    std::vector<uint8_t> d;
    ASSERT_TRUE(viewer.Receive(&d)) << "missing: " << e.text.substr(0, 20);
    EXPECT_EQ(d.size(), e.bytes);
    const LOG_RECORD_T record = Decode(d);
    EXPECT_EQ(record.level, e.level);
    EXPECT_EQ(record.module, "IPScanner");
    EXPECT_EQ(record.text, e.text);
  }
  std::vector<uint8_t> extra;
  EXPECT_FALSE(viewer.Receive(&extra, 50)) << "one datagram per line";
}

}  // namespace
