#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "links/serial/com_error.h"
#include "links/serial/com_port.h"
#include "tests/support/pty_pair.h"
#include "tests/support/test_support.h"

namespace tessaly::test {

// A port named after a fresh pseudo-terminal, with the read timeouts this
// program uses (10 ms interval, 1000 ms total).
class PortOnPtyTest : public testing::Test {
 protected:
  PortOnPtyTest() {
    port_->setObjectName(QStringLiteral("ComPort"));
    port_->SetPort(pty_.SlavePath());
    port_->Timeouts().SetReadInterval(10);
    port_->Timeouts().SetReadTotalConstant(1000);
  }

  PtyPair pty_;
  std::unique_ptr<TComPort> port_ = std::make_unique<TComPort>();
};

// Runs the action and checks it fails with the code and platform number.
inline void ExpectComFailure(const std::function<void()>& action, int code, int platformCode) {
  try {
    action();
    ADD_FAILURE() << "expected EComPort code " << code;
  } catch (const EComPort& failure) {
    EXPECT_EQ(failure.ErrorCode(), code) << failure.what();
    EXPECT_EQ(failure.PlatformCode(), platformCode) << failure.what();
  }
}

// The slave's line configuration as the kernel holds it, read through the
// master side (the port's exclusive hold on the slave does not matter): the
// speed, then the flags that are set among PARODD CMSPAR CSTOPB CRTSCTS IXON
// IXOFF INPCK, "cooked" unless the line is raw, and VSTART/VSTOP unless they
// are XON/XOFF. For instance "9600 CSTOPB".
std::string LineConfiguration(int masterFd);

}  // namespace tessaly::test
