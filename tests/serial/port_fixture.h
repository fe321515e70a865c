#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "links/serial/com_error.h"
#include "links/serial/com_port.h"
#include "tests/serial/pty_pair.h"

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

  TPtyPair pty_;
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

}  // namespace tessaly::test
