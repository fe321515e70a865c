// The settings model without a device: text conversions and the derived
// flow-control kind.
#include <gtest/gtest.h>

#include "links/serial/com_port.h"
#include "links/serial/com_text.h"

namespace tessaly {
namespace {

TEST(ComTextTest, FromText_MatchesIgnoringAsciiCaseOnlyElseFallsBack) {
  const struct {
    const char* text;
    TBaudRate baudRate;
    TParityBits parity;
    TFlowControl flowControl;
    TStopBits stopBits;
    TDataBits dataBits;
  } rows[] = {{"", br9600, prNone, fcCustom, sbOneStopBit, dbEight},  // a missing stored value
              {"19200", br19200, prNone, fcCustom, sbOneStopBit, dbEight},
              {"19200 ", br9600, prNone, fcCustom, sbOneStopBit, dbEight},  // nothing trimmed
              {"custom", brCustom, prNone, fcCustom, sbOneStopBit, dbEight},
              {"eVEN", br9600, prEven, fcCustom, sbOneStopBit, dbEight},
              {"none", br9600, prNone, fcNone, sbOneStopBit, dbEight},
              {"1.5", br9600, prNone, fcCustom, sbOne5StopBits, dbEight},
              {"7", br9600, prNone, fcCustom, sbOneStopBit, dbSeven},
              {"\u017Foftware", br9600, prNone, fcCustom, sbOneStopBit, dbEight}};  // long s: not ASCII
  for (const auto& row : rows) {
    const QString text = QString::fromUtf8(row.text);
    EXPECT_EQ(BaudRateFromText(text), row.baudRate) << row.text;
    EXPECT_EQ(ParityFromText(text), row.parity) << row.text;
    EXPECT_EQ(FlowControlFromText(text), row.flowControl) << row.text;
    EXPECT_EQ(StopBitsFromText(text), row.stopBits) << row.text;
    EXPECT_EQ(DataBitsFromText(text), row.dataBits) << row.text;
  }
  EXPECT_EQ(BaudRateText(static_cast<TBaudRate>(200)), QString());  // no enumerator, no text
}

TEST(FlowControlKindTest, DerivedFromRtsCtsAndXonXoffOnly) {
  const struct {
    TRTSFlowControl rts;
    bool ctsOut, xonIn, xonOut;
    TFlowControl kind;
  } rows[] = {{rtsHandshake, true, false, false, fcHardware}, {rtsHandshake, true, true, false, fcCustom},
              {rtsDisable, false, true, true, fcSoftware},    {rtsDisable, false, true, false, fcCustom},
              {rtsDisable, false, false, false, fcNone},      {rtsEnable, false, false, false, fcCustom}};
  for (const auto& row : rows) {
    TComPort port;
    TComFlowControl& flow = port.FlowControl();
    SCOPED_TRACE(&row - rows);
    flow.SetControlRTS(row.rts);
    flow.SetOutCTSFlow(row.ctsOut);
    flow.SetXonXoffIn(row.xonIn);
    flow.SetXonXoffOut(row.xonOut);
    flow.SetOutDSRFlow(true);
    flow.SetControlDTR(dtrHandshake);
    EXPECT_EQ(flow.FlowControlKind(), row.kind);
  }
}

}  // namespace
}  // namespace tessaly
