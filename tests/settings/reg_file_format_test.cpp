// The store file's text form: every value type is written in the form
// people expect and reads back byte for byte; whatever the reader accepts,
// the writer writes back readably; damaged text is recognised.
#include "settings/reg_file_format.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ValueLineRow {
  const char* scenario;
  RegistryValue value;
  std::string line;  // the value's line(s) in the file
};

class ValueLine : public testing::TestWithParam<ValueLineRow> {};

TEST_P(ValueLine, IsWrittenInItsExportFormAndReadBackUnchanged) {
  const RegistryTree tree{{RegistryKey{"HKEY_CURRENT_USER\\SOFTWARE", {GetParam().value}}}};
  const std::string text = FormatRegFile(tree);
  EXPECT_EQ(text, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE]\n" + GetParam().line + "\n\n");
  EXPECT_EQ(ParseRegFile(text), tree);
}

Bytes Counting(int count) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
  return bytes;
}

const ValueLineRow kValueLines[] = {
    {"PlainString", {"Transport", RegistryDataType::String, StringData("TCP")}, R"("Transport"="TCP")"},
    {"EscapedString", {"Pa\"th", RegistryDataType::String, StringData(R"(C:\dir "x")")}, R"("Pa\"th"="C:\\dir \"x\"")"},
    {"Utf8String", {"Name", RegistryDataType::String, StringData("Ω µs")}, "\"Name\"=\"Ω µs\""},
    {"EmptyString", {"Remote_IP", RegistryDataType::String, StringData("")}, R"("Remote_IP"="")"},
    {"DefaultValue", {"", RegistryDataType::String, StringData("d")}, R"(@="d")"},
    {"StringWithLineBreak", {"S", RegistryDataType::String, StringData("a\nb")}, R"("S"=hex(1):61,0a,62,00)"},
    {"StringWithZeroInside", {"S", RegistryDataType::String, StringData(std::string("a\0b", 3))}, R"("S"=hex(1):61,00,62,00)"},
    {"StringWithoutTerminator", {"S", RegistryDataType::String, Bytes{0x41}}, R"("S"=hex(1):41)"},
    {"StringNotUtf8", {"S", RegistryDataType::String, Bytes{0xC3, 0x28, 0}}, R"("S"=hex(1):c3,28,00)"},
    {"Integer", {"Remote_Port", RegistryDataType::Integer, Bytes{0xF6, 0x01, 0, 0}}, R"("Remote_Port"=dword:000001f6)"},
    {"IntegerNotFourBytes", {"I", RegistryDataType::Integer, Bytes{1, 2}}, R"("I"=hex(4):01,02)"},
    {"ExpandString", {"P", RegistryDataType::ExpandString, StringData("%A%")}, R"("P"=hex(2):25,41,25,00)"},
    {"EmptyBinary", {"B", RegistryDataType::Binary, {}}, R"("B"=hex:)"},
    {"UnknownType", {"Q", static_cast<RegistryDataType>(0xB), Bytes{1, 0, 0, 0, 0, 0, 0, 0}},
     R"("Q"=hex(b):01,00,00,00,00,00,00,00)"},
    {"LargestType", {"X", static_cast<RegistryDataType>(0xFFFFFFFF), Bytes{0xFF}}, R"("X"=hex(ffffffff):ff)"},
    {"LongBinaryWrapsLines", {"Blob", RegistryDataType::Binary, Counting(30)},
     "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
     "  16,17,18,19,1a,1b,1c,1d"},
};

INSTANTIATE_TEST_SUITE_P(EveryType, ValueLine, testing::ValuesIn(kValueLines),
                         [](const auto& info) { return std::string(info.param.scenario); });

TEST(RegFileParse, AcceptsWhatEditorsAndExportToolsProduce) {
  const auto tree = ParseRegFile(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; edited by hand\r\n"
      "[\\HKEY_CURRENT_USER\\\\Soft\\]\r\n"
      "  \"A\" = DWORD:A  \r\n"
      "\"B\"=hex:01,\\\r\n"
      "    02\r\n"
      "[hkey_current_user\\SOFT]\r\n"
      "\"a\"=\"later\"\r\n");
  ASSERT_TRUE(tree.has_value());
  ASSERT_EQ(tree->Keys().size(), 1U);
  const RegistryKey& key = tree->Keys()[0];
  EXPECT_EQ(key.Path(), "HKEY_CURRENT_USER\\Soft");
  ASSERT_EQ(key.Values().size(), 2U);
  // A name given twice keeps its first spelling and its last data.
  EXPECT_EQ(key.Values()[0], (RegistryValue{"A", RegistryDataType::String, StringData("later")}));
  EXPECT_EQ(key.Values()[1], (RegistryValue{"B", RegistryDataType::Binary, Bytes{1, 2}}));
}

// Forms people type that the writer would not produce itself: each must be
// written back in a form that reads to the same keys and values.
TEST(RegFileRewrite, EveryHandEditedFormTheReaderAcceptsSurvivesARewrite) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  for (const std::string body : {
           "[\\-old]\n\"A\"=\"1\"\n",
           "[\\\\-old\\-new\\]\n",
           "[ -spaced ]\n@=\"d\"\n",
           "[HKEY_CURRENT_USER\\[x]]\n\"=\"=\"\\\\\\\"\"\n",
           "[HKEY_CURRENT_USER\\;not a comment]\n\"\"=\"empty name\"\n",
           "[K]\n  \"A\"  =  DWORD:00A  \n\"B\"=HEX(2):25,00\n\"C\"=hex(0):\n\"D\"=\"\\\\\"\n",
           "[K]\n\"A\"=hex:01,\\\n  02\n; comment\n",
           "[K\\Ω\\\xff]\n\"µ\"=\"\xfe\"\n[k\\ω]\n",
       }) {
    const auto tree = ParseRegFile(header + body);
    ASSERT_TRUE(tree.has_value()) << body;
    EXPECT_EQ(ParseRegFile(FormatRegFile(*tree)), tree) << body;
  }
}

// Names and data made of the pieces that have a meaning in the file: the
// writer's text must read back to the very same tree, and writing that again
// must give the same text.
class GeneratedTrees {
 public:
  explicit GeneratedTrees(unsigned seed) : random_(seed) {}

  RegistryTree Next() {
    RegistryTree tree;
    const int keys = Pick(6);
    for (int k = 0; k < keys; ++k) {
      std::string path = Pick(4) == 0 ? Name(false) : (Pick(2) == 0 ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER");
      for (int depth = Pick(4); depth > 0; --depth) path += "\\" + Name(false);
      RegistryKey& key = tree.Section(path);
      for (int v = Pick(6); v > 0; --v) key.SetValue(Value());
    }
    return tree;
  }

 private:
  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

  // Key names cannot hold the path separator nor be empty; value names can.
  std::string Name(bool valueName) {
    static const std::vector<std::string> kPieces = {
        "-", "a", "Z", "[", "]", "\"", "=", "@", ";", " ", "\t", "Ω", "\xff\xfe", ",", "hex:", "dword:", "\x01", "'", "%"};
    std::string name;
    const int length = Pick(5) + (valueName ? 0 : 1);
    for (int i = 0; i < length; ++i) name += kPieces[static_cast<std::size_t>(Pick(static_cast<int>(kPieces.size())))];
    if (valueName && Pick(3) == 0) name += "\\";
    return name;
  }

  Bytes Data(int longest) {
    Bytes data(static_cast<std::size_t>(Pick(longest + 1)));
    for (auto& byte : data) byte = static_cast<std::uint8_t>(Pick(4) == 0 ? Pick(256) : "a\\\"\n\r\0-"[Pick(7)]);
    return data;
  }

  RegistryValue Value() {
    static const RegistryDataType kTypes[] = {RegistryDataType::None, RegistryDataType::String,
                                              RegistryDataType::ExpandString, RegistryDataType::Binary,
                                              RegistryDataType::Integer, static_cast<RegistryDataType>(7),
                                              static_cast<RegistryDataType>(0xFFFFFFFF)};
    RegistryValue value{Name(true), kTypes[Pick(7)], Data(40)};
    if (value.type == RegistryDataType::String && Pick(2) == 0) value.data = StringData(Name(true));
    if (value.type == RegistryDataType::Integer && Pick(2) == 0) value.data.resize(4);
    return value;
  }

  std::mt19937 random_;
};

TEST(RegFileRewrite, GeneratedTreesReadBackUnchangedAndRewriteToTheSameText) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    const RegistryTree tree = GeneratedTrees(seed).Next();
    const std::string text = FormatRegFile(tree);
    const auto parsed = ParseRegFile(text);
    ASSERT_TRUE(parsed.has_value()) << "seed " << seed << "\n" << text;
    ASSERT_EQ(*parsed, tree) << "seed " << seed << "\n" << text;
    ASSERT_EQ(FormatRegFile(*parsed), text) << "seed " << seed;
  }
}

TEST(RegFileParse, BlankTextIsAnEmptyStore) {
  EXPECT_EQ(ParseRegFile(""), RegistryTree{});
  EXPECT_EQ(ParseRegFile("\n \r\n"), RegistryTree{});
}

TEST(RegFileParse, CutOffMalformedOrHeaderlessText_IsNotTakenForAStore) {
  const std::string header = "Windows Registry Editor Version 5.00\n";
  for (const char* line :
       {"\"Name\"=\"te", "\"Name\"=\"text\" trailing", "\"Name\"=\"a\\nb\"", "\"Nam", "\"A\"=hex:01,\\", "\"A\"=hex:01,02,",
        "\"A\"=hex:1g", "\"A\"=hex:123", "\"A\"=dword:123456789", "\"A\"=dword:000000001", "\"A\"=dword:",
        "\"A\"=hex(100000000):01", "\"A\"=hex(:01", "\"A\"=-", "\"A\"=text",
        "[-HKEY_CURRENT_USER\\K]", "[HKEY_CURRENT_USER\\K", "[\\]", "stray words", "\x01\x02\x03"}) {
    EXPECT_FALSE(ParseRegFile(header + "[HKEY_CURRENT_USER\\K]\n" + line).has_value()) << line;
  }
  for (const std::string& text : {std::string("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n"), header + "\"A\"=\"x\"\n",
                                  std::string("\x00\xFF\x13garbage", 10)}) {
    EXPECT_FALSE(ParseRegFile(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace tessaly
