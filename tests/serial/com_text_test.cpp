// Text forms of the serial settings and the failure messages.
#include <gtest/gtest.h>

#include "links/serial/com_error.h"
#include "links/serial/com_text.h"

namespace tessaly {
namespace {

TEST(ComTextTest, EveryTextFormConvertsBackToItsValue) {
  for (int index = 0; index < kBaudRateCount; ++index) {
    const auto value = static_cast<TBaudRate>(index);
    EXPECT_EQ(BaudRateFromText(BaudRateText(value)), value) << index;
  }
  for (int index = 0; index < kParityCount; ++index) {
    const auto value = static_cast<TParityBits>(index);
    EXPECT_EQ(ParityFromText(ParityText(value)), value) << index;
  }
  for (int index = 0; index < kFlowControlCount; ++index) {
    const auto value = static_cast<TFlowControl>(index);
    EXPECT_EQ(FlowControlFromText(FlowControlText(value)), value) << index;
  }
  for (int index = 0; index < kStopBitsCount; ++index) {
    const auto value = static_cast<TStopBits>(index);
    EXPECT_EQ(StopBitsFromText(StopBitsText(value)), value) << index;
  }
  for (int index = 0; index < kDataBitsCount; ++index) {
    const auto value = static_cast<TDataBits>(index);
    EXPECT_EQ(DataBitsFromText(DataBitsText(value)), value) << index;
  }
}

TEST(ComTextTest, ValueOutsideItsEnumerationHasNoText) {
  EXPECT_EQ(BaudRateText(static_cast<TBaudRate>(200)), QString());
  EXPECT_EQ(BaudRateBitsPerSecond(static_cast<TBaudRate>(200)), 0);
  EXPECT_EQ(FlowControlText(static_cast<TFlowControl>(4)), QString());
}

struct TextCase {
  const char* text;
  int baudRate;
  int parity;
  int flowControl;
  int stopBits;
  int dataBits;
  int rtsControl;
};

class ComTextFromTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ComTextFromTextTest, GivesMatchIgnoringAsciiCaseOrFallback) {
  const TextCase& row = GetParam();
  const QString text = QString::fromUtf8(row.text);
  EXPECT_EQ(BaudRateFromText(text), row.baudRate);
  EXPECT_EQ(ParityFromText(text), row.parity);
  EXPECT_EQ(FlowControlFromText(text), row.flowControl);
  EXPECT_EQ(StopBitsFromText(text), row.stopBits);
  EXPECT_EQ(DataBitsFromText(text), row.dataBits);
  EXPECT_EQ(RTSControlFromText(text), row.rtsControl);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ComTextFromTextTest,
    testing::Values(
        // Empty (a missing stored value): every fallback.
        TextCase{"", br9600, prNone, fcCustom, sbOneStopBit, dbEight, rtsDisable},
        TextCase{"19200", br19200, prNone, fcCustom, sbOneStopBit, dbEight, rtsDisable},
        // Nothing is trimmed.
        TextCase{"19200 ", br9600, prNone, fcCustom, sbOneStopBit, dbEight, rtsDisable},
        TextCase{" 2", br9600, prNone, fcCustom, sbOneStopBit, dbEight, rtsDisable},
        TextCase{"custom", brCustom, prNone, fcCustom, sbOneStopBit, dbEight, rtsDisable},
        TextCase{"eVEN", br9600, prEven, fcCustom, sbOneStopBit, dbEight, rtsDisable},
        TextCase{"none", br9600, prNone, fcNone, sbOneStopBit, dbEight, rtsDisable},
        TextCase{"HARDWARE", br9600, prNone, fcHardware, sbOneStopBit, dbEight, rtsDisable},
        TextCase{"handshake", br9600, prNone, fcCustom, sbOneStopBit, dbEight, rtsHandshake},
        TextCase{"1.5", br9600, prNone, fcCustom, sbOne5StopBits, dbEight, rtsDisable},
        TextCase{"7", br9600, prNone, fcCustom, sbOneStopBit, dbSeven, rtsDisable},
        // Only ASCII letters change case: the long s would upper-case to S.
        TextCase{"\u017Foftware", br9600, prNone, fcCustom, sbOneStopBit, dbEight, rtsDisable}));

struct MessageCase {
  int code;
  int platformCode;
  const char* message;
};

class EComPortTest : public testing::TestWithParam<MessageCase> {};

TEST_P(EComPortTest, MessageIsCodeTextWithPlatformNumberWhenThereIsOne) {
  const MessageCase& row = GetParam();
  const EComPort failure(row.code, row.platformCode);
  EXPECT_STREQ(failure.what(), row.message);
  EXPECT_EQ(failure.Message(), QString::fromUtf8(row.message));
  EXPECT_EQ(failure.ErrorCode(), row.code);
  EXPECT_EQ(failure.PlatformCode(), row.platformCode);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, EComPortTest,
    testing::Values(MessageCase{1, 2, "Unable to open com port (win error code: 2)"},
                    MessageCase{16, EComPort::kNoPlatformCode, "Failed to store settings"},
                    MessageCase{17, EComPort::kNoPlatformCode, "Failed to load settings"},
                    MessageCase{23, 13, "Registry error (win error code: 13)"},
                    MessageCase{7, 0, "SetCommState function failed (win error code: 0)"}));

}  // namespace
}  // namespace tessaly
