#pragma once

// A fixture for tests that build the main window and its dialogs: the skin's style, no start-up
// discovery, nothing sent, an empty device table before and after.

#include <gtest/gtest.h>

#include "core/control/control.h"
#include "core/control/control_outbound_hooks.h"
#include "ui/framework/skin_style.h"
#include "ui/main/main_wnd.h"

class QuietWindowTest : public testing::Test {
protected:
  void SetUp() override {
    ApplySkinStyle();
    CMainWnd::SetStartupHook([](CMainWnd*) {});
    OutboundHooks hooks;
    hooks.send = [](const PACKET_RECORD_T*) {};
    SetOutboundHooks(hooks);
    CControl::GetInstance()->ClearDevices();
  }
  void TearDown() override {
    CMainWnd::SetStartupHook({});
    SetOutboundHooks({});
    CControl::GetInstance()->ClearDevices();
  }
};
