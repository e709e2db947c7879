// The main panel loaded offscreen and COM1 pointing at a scripted peer, with the port opened
// (or to be opened) the way InitRS232 leaves it before its line check.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/link_hooks.h"
#include "state/globals.h"
#include "platform/ui/userint.h"
#include "link/com232.h"
#include "platform/serial/rs232.h"
#include "support/scripted_peer.h"
#include "support/ui_helpers.h"

// The panels loaded and COM1 pointing at the peer; the port is opened by the test.
class LinkFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    setenv("RORIR_COM1", peer_.slavePath().c_str(), 1);
    std::string why;
    ASSERT_TRUE(LoadProgramPanels(&why)) << why;
    JoinLinkToPanel();
    com = 1;
    stop_flag = 1;
  }
  void TearDown() override {
    CloseCom(com);
    DiscardPanel(pPopup);
    DiscardPanel(pHandle);
    unsetenv("RORIR_COM1");
  }
  // The port as InitRS232 leaves it before the line check.
  void OpenPort() {
    ASSERT_EQ(OpenComConfig(com, "", 19200, 0, 8, 1, 4096, 4096), 0);
    SetComTime(com, TIMEOUT);
    InstallReceiveCallback();
  }
  ScriptedPeer peer_;
};

// The same with the port already open.
class PortFixture : public LinkFixture {
 protected:
  void SetUp() override {
    LinkFixture::SetUp();
    if (!HasFatalFailure()) OpenPort();
  }
};
