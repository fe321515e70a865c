// The store on disk: the order of the calls that make a write durable, what
// a failing or full disk leaves behind, permissions, symbolic links, and one
// parse for many reads.
#include "settings/file_operations.h"
#include "settings/parsed_store_cache.h"
#include "settings/program_key.h"
#include "settings/reg_file_format.h"
#include "settings/registry.h"
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using Step = FileOperations::Step;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::ranges::sort(names);
  return names;
}

// A disk that records every call that changes it and fails the chosen ones
// as a full disk does.
class ScriptedDisk : public FileOperations {
 public:
  std::vector<Step> calls;
  std::set<Step> failing;

 protected:
  bool Permit(Step step) override {
    calls.push_back(step);
    if (!failing.contains(step)) return true;
    errno = ENOSPC;
    return false;
  }
};

const std::string kStored =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Verandel\\Tessaly]\n"
    "\"Transport\"=\"TCP\"\n\"Remote_IP\"=\"127.0.0.1\"\n\"Remote_Port\"=dword:0000139c\n\n";

class StoreOnDisk : public testing::Test {
 protected:
  fs::path MachineFile() const { return dir_ / "local-machine.reg"; }

  // A fresh handle on the program's key, as each part of the program takes one.
  std::unique_ptr<TRegistry> Program(bool canCreate = true) {
    auto registry = std::make_unique<TRegistry>(dir_, disk_);
    registry->SetRootKey(RegistryRoot::LocalMachine);
    opened_ = registry->OpenKey(kProgramKeyPath, canCreate);
    return registry;
  }

  test::TemporaryFolder folder_;
  const fs::path dir_ = folder_.Path();
  ScriptedDisk disk_;
  bool opened_ = false;
};

TEST_F(StoreOnDisk, AWriteSyncsTheNewFileBeforeTheRenameAndTheFolderAfterIt_KeepingThePermissions) {
  WriteText(MachineFile(), kStored);
  fs::permissions(MachineFile(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const auto registry = Program();
  ASSERT_TRUE(opened_);
  EXPECT_TRUE(disk_.calls.empty()) << "opening a key on file writes nothing";

  registry->WriteString("Transport", "COM");
  EXPECT_EQ(disk_.calls, (std::vector<Step>{Step::CreateTemporary, Step::SetMode, Step::Write, Step::SyncFile,
                                            Step::CloseFile, Step::Rename, Step::SyncFolder}));
  EXPECT_EQ(fs::status(MachineFile()).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Names(dir_), std::vector<std::string>{"local-machine.reg"});
  EXPECT_EQ(Program()->ReadString("Transport"), "COM");
}

TEST_F(StoreOnDisk, AFailingStepLeavesTheOldFileWholeAndNoLeftovers_TheWriteFails) {
  for (const Step step : {Step::CreateTemporary, Step::SetMode, Step::Write, Step::SyncFile, Step::CloseFile,
                          Step::Rename, Step::SyncFolder}) {
    SCOPED_TRACE(static_cast<int>(step));
    WriteText(MachineFile(), kStored);
    disk_.failing = {step};
    const auto registry = Program();
    EXPECT_EQ(test::FailureText([&] { registry->WriteString("Transport", "COM"); }), "Failed to set data for 'Transport'");
    EXPECT_EQ(Names(dir_), std::vector<std::string>{"local-machine.reg"});
    // Only a failing folder sync comes after the new file is in place.
    EXPECT_EQ(registry->ReadString("Transport"), step == Step::SyncFolder ? "COM" : "TCP");
    if (step != Step::SyncFolder) {
      EXPECT_EQ(ReadText(MachineFile()), kStored);
    }
  }
}

TEST_F(StoreOnDisk, AFullDiskStillShowsTheStoredValues_OnlyTheWritesFail) {
  // Written by hand: the parent keys have no sections of their own.
  WriteText(MachineFile(), kStored);
  disk_.failing = {Step::CreateTemporary, Step::Write, Step::Link, Step::CreateCopy};
  const auto registry = Program();
  EXPECT_TRUE(opened_);
  EXPECT_EQ(registry->ReadString("Transport"), "TCP");
  EXPECT_EQ(registry->ReadString("Remote_IP"), "127.0.0.1");
  EXPECT_EQ(registry->ReadInteger("Remote_Port"), 5020);
  EXPECT_EQ(test::FailureText([&] { registry->WriteString("Transport", "COM"); }), "Failed to set data for 'Transport'");

  // A parent of the key opens too, though it has no section of its own.
  EXPECT_TRUE(registry->OpenKey("SOFTWARE\\Verandel", true));
  // A key that is missing cannot be created: it opens not, and holds nothing.
  EXPECT_FALSE(registry->OpenKey("SOFTWARE\\Verandel\\Tessaly\\ComPort", true));
  EXPECT_EQ(registry->ReadString("Port"), "");
  EXPECT_EQ(ReadText(MachineFile()), kStored);
}

TEST_F(StoreOnDisk, ADamagedStoreOnAFullDiskIsSetAsideOncePerContent_AlsoWithoutHardLinks) {
  for (const bool hardLinks : {true, false}) {
    SCOPED_TRACE(hardLinks);
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    disk_.failing = {Step::CreateTemporary};
    if (!hardLinks) disk_.failing.insert(Step::Link);
    for (const std::string damage : {"damaged", "damaged", "other damage", "damaged"}) {
      fs::remove(MachineFile());  // saved as a new file, as most editors do
      WriteText(MachineFile(), damage);
      ParsedStoreCache::Instance().Clear();  // each round is a new start of the program
      EXPECT_FALSE(Program()->OpenKey(kProgramKeyPath, true));
    }
    std::vector<std::string> copies;
    for (const std::string& name : Names(dir_)) {
      if (name.starts_with("local-machine.reg.damaged-")) copies.push_back(ReadText(dir_ / name));
    }
    std::ranges::sort(copies);
    EXPECT_EQ(copies, (std::vector<std::string>{"damaged", "other damage"}));
  }
}

TEST_F(StoreOnDisk, ASymbolicLinkStaysALinkAndItsTargetIsUpdatedInItsOwnFolder) {
  const fs::path dotfiles = dir_ / "dotfiles";
  fs::create_directory(dotfiles);
  WriteText(dotfiles / "tessaly.reg", kStored);
  fs::create_symlink("dotfiles/tessaly.reg", MachineFile());

  const auto registry = Program();
  EXPECT_EQ(registry->ReadString("Remote_IP"), "127.0.0.1");
  registry->WriteString("Transport", "COM");
  EXPECT_TRUE(fs::is_symlink(MachineFile()));
  EXPECT_EQ(Program()->ReadString("Transport"), "COM");
  EXPECT_NE(ReadText(dotfiles / "tessaly.reg").find("\"Transport\"=\"COM\""), std::string::npos);
  EXPECT_EQ(Names(dotfiles), std::vector<std::string>{"tessaly.reg"});

  // A damaged target is set aside beside itself; the link still leads to it.
  WriteText(dotfiles / "tessaly.reg", "damaged by hand");
  EXPECT_EQ(Program()->ReadString("Transport"), "");
  EXPECT_TRUE(fs::is_symlink(MachineFile()));
  ASSERT_EQ(Names(dotfiles).size(), 2U);
  EXPECT_EQ(Names(dotfiles)[0], "tessaly.reg");
  EXPECT_EQ(ReadText(dotfiles / Names(dotfiles)[1]), "damaged by hand");
}

TEST_F(StoreOnDisk, ADanglingLinkReadsEmptyAndItsTargetAppearsWithTheFirstWrite_NotWithoutItsFolder) {
  fs::create_symlink("later.reg", MachineFile());
  EXPECT_EQ(Program(false)->ReadString("Transport"), "");
  EXPECT_FALSE(opened_);
  EXPECT_FALSE(fs::exists(dir_ / "later.reg"));
  Program()->WriteString("Transport", "TCP");
  EXPECT_TRUE(fs::is_symlink(MachineFile()));
  EXPECT_EQ(Program(false)->ReadString("Transport"), "TCP");

  fs::remove(MachineFile());
  fs::create_symlink("missing-folder/later.reg", MachineFile());
  const auto registry = Program();
  EXPECT_FALSE(opened_);
  EXPECT_EQ(test::FailureText([&] { registry->WriteString("Transport", "TCP"); }), "Failed to set data for 'Transport'");
  EXPECT_FALSE(fs::exists(dir_ / "missing-folder"));
}

TEST_F(StoreOnDisk, ManyHandlesParseTheFileOnce_AChangeInPlaceIsStillSeen) {
  WriteText(MachineFile(), kStored);
  const std::uint64_t before = ParseCount();
  for (int handle = 0; handle < 10; ++handle) {
    EXPECT_EQ(Program()->ReadString("Transport"), "TCP");
    EXPECT_TRUE(Program()->ValueExists("Remote_Port"));
  }
  Program()->WriteString("Remote_IP", "127.0.0.2");  // its result is known without parsing it
  EXPECT_EQ(Program()->ReadString("Remote_IP"), "127.0.0.2");
  EXPECT_EQ(ParseCount() - before, 1U);

  // Edited in place: same file, same size, same time stamp.
  const struct timespec stamp = [&] {
    struct stat status {};
    ::stat(MachineFile().c_str(), &status);
    return status.st_mtim;
  }();
  std::string edited = ReadText(MachineFile());
  edited.replace(edited.find("\"TCP\""), 5, "\"COM\"");
  std::fstream(MachineFile(), std::ios::in | std::ios::out | std::ios::binary) << edited;
  const struct timespec times[2] = {stamp, stamp};
  ASSERT_EQ(::utimensat(AT_FDCWD, MachineFile().c_str(), times, 0), 0);
  EXPECT_EQ(Program()->ReadString("Transport"), "COM");
}

// Values written as a group reach the disk in one replacement of the file,
// or not at all: a refusing disk leaves the old values whole.
TEST_F(StoreOnDisk, GroupedWrites_OneRewriteForTheWholeGroup_OrNoneWhenRefused) {
  {
    const std::unique_ptr<TRegistry> seed = Program();
    seed->WriteString("Port", "/dev/ttyUSB0");
    seed->WriteString("BaudRate", "9600");
  }
  disk_.calls.clear();
  auto registry = std::make_unique<TRegistry>(dir_, disk_);
  registry->SetRootKey(RegistryRoot::LocalMachine);
  registry->BeginWrites();
  ASSERT_TRUE(registry->OpenKey(std::string(kProgramKeyPath) + "\\ComPort", true));
  registry->WriteString("Port", "/dev/ttyUSB1");
  registry->WriteString("BaudRate", "19200");
  EXPECT_EQ(registry->ReadString("Port"), "/dev/ttyUSB1") << "a group's own reads see its writes";
  EXPECT_TRUE(disk_.calls.empty()) << "nothing reaches the disk before the group is committed";
  registry->CommitWrites();
  EXPECT_EQ(std::ranges::count(disk_.calls, Step::Rename), 1);
  EXPECT_EQ(Program()->ReadString("Port"), "/dev/ttyUSB0");  // the group went to its own key
  TRegistry reader(dir_);
  reader.SetRootKey(RegistryRoot::LocalMachine);
  ASSERT_TRUE(reader.OpenKey(std::string(kProgramKeyPath) + "\\ComPort", false));
  EXPECT_EQ(reader.ReadString("BaudRate"), "19200");

  disk_.failing = {Step::Rename};
  registry->BeginWrites();
  ASSERT_TRUE(registry->OpenKey(std::string(kProgramKeyPath) + "\\ComPort", true));
  registry->WriteString("Port", "/dev/ttyACM0");
  registry->WriteString("BaudRate", "115200");
  EXPECT_EQ(test::FailureText([&] { registry->CommitWrites(); }), "Failed to set data for 'Port'");
  EXPECT_EQ(reader.ReadString("Port"), "/dev/ttyUSB1");
  EXPECT_EQ(reader.ReadString("BaudRate"), "19200");
}

}  // namespace
}  // namespace tessaly
