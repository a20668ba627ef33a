#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> g_stop{false};

void OnStopSignal(int) { g_stop = true; }

}  // namespace

void CatchStopSignals() {
  g_stop = false;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return g_stop.load(); }
