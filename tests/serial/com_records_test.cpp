// The setting records: the derived flow-control kind and queue sizes.
#include <gtest/gtest.h>

#include "links/serial/com_port.h"

namespace tessaly {
namespace {

struct FlowCase {
  TRTSFlowControl rts;
  bool ctsOut;
  bool xonIn;
  bool xonOut;
  TFlowControl kind;
};

class FlowControlKindTest : public testing::TestWithParam<FlowCase> {};

TEST_P(FlowControlKindTest, DerivesKindFromRtsCtsAndXonXoff) {
  const FlowCase& row = GetParam();
  TComPort port;
  port.FlowControl().SetControlRTS(row.rts);
  port.FlowControl().SetOutCTSFlow(row.ctsOut);
  port.FlowControl().SetXonXoffIn(row.xonIn);
  port.FlowControl().SetXonXoffOut(row.xonOut);
  // DSR and DTR details never change the kind.
  port.FlowControl().SetOutDSRFlow(true);
  port.FlowControl().SetControlDTR(dtrHandshake);
  EXPECT_EQ(port.FlowControl().FlowControlKind(), row.kind);
}

INSTANTIATE_TEST_SUITE_P(Details, FlowControlKindTest,
                         testing::Values(FlowCase{rtsHandshake, true, false, false, fcHardware},
                                         FlowCase{rtsHandshake, true, true, false, fcCustom},
                                         FlowCase{rtsDisable, false, true, true, fcSoftware},
                                         FlowCase{rtsDisable, false, true, false, fcCustom},
                                         FlowCase{rtsDisable, false, false, false, fcNone},
                                         FlowCase{rtsEnable, false, false, false, fcCustom},
                                         FlowCase{rtsDisable, true, false, false, fcCustom}));

TEST(FlowControlKindTest, SettingAKindLeavesDsrAndDtrDetailsAlone) {
  TComPort port;
  TComFlowControl& flow = port.FlowControl();
  flow.SetOutDSRFlow(true);
  flow.SetControlDTR(dtrEnable);
  flow.SetXonChar(1);

  flow.SetFlowControlKind(fcHardware);
  EXPECT_EQ(flow.FlowControlKind(), fcHardware);
  flow.SetFlowControlKind(fcSoftware);
  EXPECT_EQ(flow.FlowControlKind(), fcSoftware);
  EXPECT_FALSE(flow.OutCTSFlow());
  EXPECT_EQ(flow.ControlRTS(), rtsDisable);

  flow.SetXonXoffIn(false);  // now custom
  flow.SetFlowControlKind(fcCustom);
  EXPECT_TRUE(flow.XonXoffOut());
  EXPECT_FALSE(flow.XonXoffIn());

  flow.SetFlowControlKind(fcNone);
  EXPECT_EQ(flow.FlowControlKind(), fcNone);
  EXPECT_TRUE(flow.OutDSRFlow());
  EXPECT_EQ(flow.ControlDTR(), dtrEnable);
  EXPECT_EQ(flow.XonChar(), 1);
}

TEST(ComBufferTest, PositiveOddSizeIsStoredAsNextLowerEven) {
  TComPort port;
  port.Buffer().SetInputSize(1023);
  port.Buffer().SetOutputSize(1);
  EXPECT_EQ(port.Buffer().InputSize(), 1022);
  EXPECT_EQ(port.Buffer().OutputSize(), 0);
  port.Buffer().SetInputSize(-3);
  EXPECT_EQ(port.Buffer().InputSize(), -3);
}

}  // namespace
}  // namespace tessaly
