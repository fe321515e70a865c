// The settings store as the program's Parts use it: reading and writing
// rules, refusal, sharing between running copies, damaged files.
#include "settings/parsed_store_cache.h"
#include "settings/registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <tuple>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKey = "SOFTWARE\\Verandel\\Tessaly";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

using test::Outcome;

class RegistryStore : public testing::Test {
 protected:

  fs::path UserFile() const { return dir_ / "current-user.reg"; }
  fs::path MachineFile() const { return dir_ / "local-machine.reg"; }
  std::vector<fs::path> DamagedCopies() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().filename().string().starts_with("current-user.reg.damaged-")) found.push_back(entry.path());
    }
    return found;
  }

  test::TemporaryFolder folder_;
  const fs::path dir_ = folder_.Path();
};

struct ReadRow {
  const char* name;
  std::string asString;   // ReadString's text or message
  std::string asInteger;  // ReadInteger's number or message
};

class ReadingRules : public RegistryStore, public testing::WithParamInterface<ReadRow> {};

TEST_P(ReadingRules, GiveTheTextNumberOrFailureForEachStoredShape) {
  WriteText(UserFile(),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Verandel\\Tessaly]\n"
            "\"Ten\"=\"0123456789\"\n\"Two\"=\"42\"\n\"Remote_Port\"=dword:000001f6\n\"Minus\"=dword:ffffffff\n"
            "\"Short\"=hex(4):01,02\n\"Empty\"=hex:\n\"Zero\"=hex(1):41,42,00,43,00\n\"Expand\"=hex(2):25,50,25,00\n"
            "\"Multi\"=hex(7):41,00,00\n\"Wide\"=hex(b):01,00,00,00,00,00,00,00\n");
  TRegistry registry(dir_);
  ASSERT_TRUE(registry.OpenKey(kKey, false));
  const std::string name = GetParam().name;
  EXPECT_EQ(Outcome([&] { return registry.ReadString(name); }), GetParam().asString);
  EXPECT_EQ(Outcome([&] { return std::to_string(registry.ReadInteger(name)); }), GetParam().asInteger);
}

INSTANTIATE_TEST_SUITE_P(
    StoredValues, ReadingRules,
    testing::Values(
        ReadRow{"Missing", "", "Failed to get data for 'Missing'"},
        ReadRow{"Ten", "0123456789", "Failed to get data for 'Ten'"},
        ReadRow{"Two", "42", "Invalid data type for 'Two'"},
        ReadRow{"remote_PORT", "Invalid data type for 'remote_PORT'", "502"},
        ReadRow{"Minus", "Invalid data type for 'Minus'", "-1"},
        ReadRow{"Short", "Invalid data type for 'Short'", "513"},
        ReadRow{"Empty", "", "Invalid data type for 'Empty'"},
        ReadRow{"Zero", "AB", "Failed to get data for 'Zero'"},
        ReadRow{"Expand", "%P%", "Invalid data type for 'Expand'"},
        ReadRow{"Multi", "Invalid data type for 'Multi'", "Invalid data type for 'Multi'"},
        ReadRow{"Wide", "Invalid data type for 'Wide'", "Failed to get data for 'Wide'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegistryStore, WritesReplaceAnyTypeKeepTheFirstSpellingOfNamesAndListParentsAboveChildren) {
  // A hand-written child key whose parents do not exist yet.
  WriteText(MachineFile(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel\\Tessaly\\ComPort]\n\"Port\"=\"COM3\"\n\n");
  TRegistry writer(dir_);
  writer.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(writer.OpenKey(kKey, true));
  writer.WriteString("Remote_Port", "x");
  writer.WriteInteger("REMOTE_PORT", 502);
  writer.WriteInteger("Transport", 7);
  writer.WriteString("transport", "TCP");
  writer.WriteString("Zeroed", std::string("ab\0cd", 5));
  ASSERT_TRUE(writer.OpenKey("software\\VERANDEL\\tessaly\\ComPort", true));
  writer.WriteString("Port", "/dev/ttyUSB0");

  EXPECT_EQ(ReadText(MachineFile()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel\\Tessaly]\n"
            "\"Remote_Port\"=dword:000001f6\n\"Transport\"=\"TCP\"\n\"Zeroed\"=hex(1):61,62,00,63,64,00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel\\Tessaly\\ComPort]\n\"Port\"=\"/dev/ttyUSB0\"\n\n");
  EXPECT_FALSE(fs::exists(UserFile()));

  TRegistry reader(dir_);
  reader.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(reader.OpenKey(kKey, false));
  EXPECT_EQ(reader.ReadInteger("remote_port"), 502);
  EXPECT_EQ(reader.ReadString("Zeroed"), "ab");
}

TEST_F(RegistryStore, OpeningFindsCreatedAndParentKeysButNotMissingOnes) {
  TRegistry registry(dir_);
  EXPECT_FALSE(registry.OpenKey(kKey, false));
  EXPECT_FALSE(registry.HasOpenKey());
  ASSERT_TRUE(registry.OpenKey(kKey, true));
  TRegistry other(dir_);
  EXPECT_TRUE(other.OpenKey("Software\\Verandel", false));
  EXPECT_TRUE(other.OpenKey("\\SOFTWARE\\Verandel\\Tessaly\\", false));
  EXPECT_FALSE(other.OpenKey("SOFTWARE\\Verandel\\Tessaly\\ComPort", false));
  other.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(other.OpenKey(kKey, false));
}

TEST_F(RegistryStore, RefusedStore_ReadsEmptyAndFailsEveryWrite_AlsoWhenTheFolderGoesAfterOpening) {
  const fs::path notAFolder = dir_ / "plain-file";
  WriteText(notAFolder, "x");
  TRegistry registry(notAFolder);
  registry.SetRootKey(RegistryRoot::LocalMachine);
  EXPECT_FALSE(registry.OpenKey(kKey, true));
  EXPECT_EQ(registry.ReadString("Remote_IP"), "");
  EXPECT_FALSE(registry.ValueExists("Remote_Port"));
  EXPECT_EQ(Outcome([&] { return std::to_string(registry.ReadInteger("Remote_Port")); }),
            "Failed to get data for 'Remote_Port'");
  EXPECT_EQ(test::FailureText([&] { registry.WriteString("Transport", "COM"); }),
            "Failed to set data for 'Transport'");
  EXPECT_EQ(ReadText(notAFolder), "x");

  const fs::path folder = dir_ / "store";
  TRegistry opened(folder);
  ASSERT_TRUE(opened.OpenKey(kKey, true));
  fs::remove_all(folder);
  WriteText(folder, "not a folder");
  EXPECT_EQ(test::FailureText([&] { opened.WriteInteger("Remote_Port", 1); }),
            "Failed to set data for 'Remote_Port'");
}

TEST_F(RegistryStore, WritersOnTwoThreadsLoseNoValue_AnEarlierHandleReadsTheLatest) {
  TRegistry early(dir_);
  ASSERT_TRUE(early.OpenKey(kKey, true));
  early.WriteString("Transport", "TCP");
  constexpr int kWritesEach = 25;
  auto writeMany = [this](const std::string& prefix) {
    TRegistry registry(dir_);
    ASSERT_TRUE(registry.OpenKey(kKey, true));
    for (int i = 0; i < kWritesEach; ++i) registry.WriteInteger(prefix + std::to_string(i), i);
  };
  std::thread a(writeMany, "A");
  std::thread b(writeMany, "B");
  a.join();
  b.join();
  for (int i = 0; i < kWritesEach; ++i) {
    EXPECT_EQ(early.ReadInteger("A" + std::to_string(i)), i);
    EXPECT_EQ(early.ReadInteger("B" + std::to_string(i)), i);
  }
  EXPECT_EQ(early.ReadString("Transport"), "TCP");
}

TEST_F(RegistryStore, HandEditedKeysAndValuesOfUnknownTypesSurviveAWrite_TheStoredChoiceStays) {
  WriteText(UserFile(), "Windows Registry Editor Version 5.00\n\n[\\-old]\n\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"
                        "\"M\"=hex(7):61,00,62,00,00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Verandel\\Tessaly]\n\"Transport\"=\"TCP\"\n");
  TRegistry registry(dir_);
  ASSERT_TRUE(registry.OpenKey(kKey, true));
  registry.WriteString("Remote_IP", "127.0.0.1");
  ParsedStoreCache::Instance().Clear();  // the next start reads the file afresh

  TRegistry reader(dir_);
  ASSERT_TRUE(reader.OpenKey(kKey, false));
  EXPECT_EQ(reader.ReadString("Transport"), "TCP");
  EXPECT_TRUE(DamagedCopies().empty());
  EXPECT_NE(ReadText(UserFile()).find("\"M\"=hex(7):61,00,62,00,00\n"), std::string::npos);
}

class DamagedFile : public RegistryStore, public testing::WithParamInterface<std::string> {};

TEST_P(DamagedFile, IsSetAsideAndReadAsEmpty) {
  WriteText(UserFile(), GetParam());
  TRegistry registry(dir_);
  ASSERT_TRUE(registry.OpenKey(kKey, true));
  EXPECT_EQ(registry.ReadString("Transport"), "");
  registry.WriteString("Transport", "TCP");

  const std::vector<fs::path> copies = DamagedCopies();
  ASSERT_EQ(copies.size(), 1U);
  EXPECT_EQ(ReadText(copies[0]), GetParam());
  EXPECT_EQ(registry.ReadString("Transport"), "TCP");
}

INSTANTIATE_TEST_SUITE_P(
    Contents, DamagedFile,
    testing::Values(std::string("\x7F" "ELF\0\0\x01garbage", 13),
                    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Verandel\\Tessaly]\n"
                    "\"Blob\"=hex:00,01,02,\\\n  03,04,\\\n",
                    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Verandel\\Tessaly]\n"
                    "\"Transport\"=\"TC"));

TEST(StoreDirectory, FollowsTheXdgConvention_ARelativeConfigHomeIsIgnored) {
  const auto saved = [](const char* name) { return getenv(name) ? std::optional<std::string>(getenv(name)) : std::nullopt; };
  const auto restore = [](const char* name, const std::optional<std::string>& value) {
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  };
  const std::optional<std::string> xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");
  const std::tuple<std::optional<std::string>, fs::path> rows[] = {
      {"/cfg", "/cfg/tessaly"}, {std::nullopt, "/home/u/.config/tessaly"}, {"relative/cfg", "/home/u/.config/tessaly"}};
  setenv("HOME", "/home/u", 1);
  for (const auto& [configHome, expected] : rows) {
    restore("XDG_CONFIG_HOME", configHome);
    EXPECT_EQ(DefaultStoreDirectory(), expected);
  }
  restore("XDG_CONFIG_HOME", xdg);
  restore("HOME", home);
}

}  // namespace
}  // namespace tessaly
