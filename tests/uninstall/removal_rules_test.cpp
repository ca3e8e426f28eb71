#include "uninstall/removal_rules.h"

#include <gtest/gtest.h>

namespace v7 {
namespace uninstall {
namespace {

TEST(RemovalRules, CabinetsAreTheProductsOwnByName) {
  struct Case {
    const char16_t *name;
    bool own;
  } cases[] = {
      {u"VELMORA7RELAY[1].CAB", true},  // the cache's upper-case spelling
      {u"velmora7.cab", true},
      {u"setup_velmora7_v2[3].cab", true},
      {u"other.cab", false},  // another product's cabinet
      {u"velmora7.txt", false},
      {u"velmora7.cab.txt", false},  // not a cabinet, whatever its name holds
      {u"velmora7.cabinet", false},
      {u"velmora.cab", false},
      {u"VELMORA7", false},
      {u"", false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(IsOwnCabinet(c.name), c.own)
        << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
  }
}

TEST(RemovalRules, TheCacheBesideTheTemporaryFolder) {
  struct Case {
    const char16_t *temp;
    const char16_t *cache;
  } cases[] = {
      {u"C:\\Users\\kim\\AppData\\Local\\Temp\\",
       u"C:\\Users\\kim\\AppData\\Local\\Temporary Internet Files"},
      {u"C:\\WINDOWS\\TEMP", u"C:\\WINDOWS\\Temporary Internet Files"},
      {u"C:\\Temp\\\\", u"C:\\Temporary Internet Files"},
      {u"C:\\", u""},    // a drive root has no parent folder
      {u"Temp\\", u""},  // nor does a relative name
      {u"\\Temp", u""},
      {u"", u""},
  };
  for (const Case &c : cases) EXPECT_EQ(TemporaryInternetFilesOf(c.temp), std::u16string(c.cache));
  // Too long to be a path: refused, never cut.
  std::u16string deep = u"C:\\" + std::u16string(240, u'a') + u"\\Temp";
  EXPECT_EQ(TemporaryInternetFilesOf(deep), u"");
}

TEST(RemovalRules, FoldersFromThePlatformsAnswers) {
  PlatformFolders platform{u"C:\\windows\\system32", u"C:\\windows", u"C:\\users\\kim\\Temp\\",
                           u"C:\\users\\kim\\Local Settings\\Temporary Internet Files"};
  MachineFolders folders;
  ASSERT_TRUE(ComputeFolders(platform, &folders));
  EXPECT_EQ(folders.system, u"C:\\windows\\system32\\");
  EXPECT_EQ(folders.windows, u"C:\\windows\\");
  EXPECT_EQ(folders.activex, u"C:\\windows\\Downloaded Program Files\\");
  ASSERT_EQ(folders.caches.size(), 2u);
  EXPECT_EQ(folders.caches[0], u"C:\\users\\kim\\Temporary Internet Files\\");
  EXPECT_EQ(folders.caches[1], u"C:\\users\\kim\\Local Settings\\Temporary Internet Files\\");

  // The shell naming the same cache (in another case) does not make it scanned twice.
  platform.internet_cache = u"c:\\USERS\\kim\\temporary internet files";
  ASSERT_TRUE(ComputeFolders(platform, &folders));
  EXPECT_EQ(folders.caches.size(), 1u);
  // A relative or empty answer names no cache.
  platform.temp = u"C:\\";
  platform.internet_cache = u"Temporary Internet Files";
  ASSERT_TRUE(ComputeFolders(platform, &folders));
  EXPECT_TRUE(folders.caches.empty());
  // Without a system or a Windows folder nothing can be removed.
  platform.system.clear();
  EXPECT_FALSE(ComputeFolders(platform, &folders));
  platform.system = u"system32";
  EXPECT_FALSE(ComputeFolders(platform, &folders));
}

TEST(RemovalRules, TheFileListsNeverHoldASystemLibrary) {
  for (unsigned platform_id : {0u, 1u, 2u}) {
    FileLists lists = BuildFileLists(platform_id);
    EXPECT_EQ(lists.system_delete,
              (std::vector<std::u16string>{u"v7certrelaywin.dll", u"v7certselect.dll", u"v7relay.dll"}));
    EXPECT_EQ(lists.windows_unregister, std::vector<std::u16string>{u"v5writeCOM.dll"});
    EXPECT_EQ(lists.activex, (std::vector<std::u16string>{u"velmoraCertRelay.inf", u"velmoraCertRelay.ocx"}));
    EXPECT_EQ(lists.own_file, u"velmoraRelayClear.exe");
  }
  EXPECT_TRUE(IsActiveXServer(u"C:\\windows\\Downloaded Program Files\\velmoraCertRelay.ocx"));
  EXPECT_FALSE(IsActiveXServer(u"C:\\windows\\Downloaded Program Files\\velmoraCertRelay.inf"));
}

TEST(RemovalRules, WhatTheCacheScanDoesWithEachEntry) {
  const std::u16string cache = u"C:\\cache\\";
  struct Case {
    const char16_t *name;
    EntryKind kind;
    int depth;
    ScanAction action;
  } cases[] = {
      {u"VELMORA7RELAY[1].CAB", EntryKind::kFile, 0, ScanAction::kDelete},
      {u"velmora7.cab", EntryKind::kFile, kMaxScanDepth, ScanAction::kDelete},
      {u"other.cab", EntryKind::kFile, 0, ScanAction::kSkip},
      {u"Content.IE5", EntryKind::kFolder, 0, ScanAction::kEnter},
      {u"AB12", EntryKind::kFolder, kMaxScanDepth - 1, ScanAction::kEnter},
      {u"AB12", EntryKind::kFolder, kMaxScanDepth, ScanAction::kSkip},  // deep enough
      {u"velmora7.cab", EntryKind::kLink, 0, ScanAction::kSkip},  // a link is never followed nor deleted
      {u"Content.IE5", EntryKind::kLink, 0, ScanAction::kSkip},
      {u"NPKI", EntryKind::kFolder, 0, ScanAction::kSkip},  // certificates are never the cache
      {u"npki", EntryKind::kFolder, 3, ScanAction::kSkip},
      {u".", EntryKind::kFolder, 0, ScanAction::kSkip},
      {u"..", EntryKind::kFolder, 0, ScanAction::kSkip},
      {u"a\\velmora7.cab", EntryKind::kFile, 0, ScanAction::kSkip},  // not one entry's name
      {u"", EntryKind::kFile, 0, ScanAction::kSkip},
  };
  for (const Case &c : cases) EXPECT_EQ(DecideEntry(cache, c.name, c.kind, c.depth), c.action);
  std::u16string long_folder = u"C:\\" + std::u16string(250, u'x') + u"\\";
  EXPECT_EQ(DecideEntry(long_folder, u"velmora7.cab", EntryKind::kFile, 0), ScanAction::kSkip);
  EXPECT_EQ(DecideEntry(long_folder, u"sub", EntryKind::kFolder, 0), ScanAction::kEnter);
}

TEST(RemovalRules, ARegistryValueNamesAFileByItsOwnName) {
  struct Case {
    const char16_t *value;
    const char16_t *file;
    bool names;
  } cases[] = {
      {u"C:\\WINDOWS\\Downloaded Program Files\\velmoraCertRelay.ocx", kControlFileName, true},
      {u"\"C:\\Program Files\\x\\VELMORACERTRELAY.OCX\"", kControlFileName, true},
      {u"C:\\WINDOWS\\DOWNLO~1\\velmoraCertRelay.ocx, 1", kControlFileName, true},  // a toolbox bitmap
      {u"velmoraCertRelay.ocx", kControlFileName, true},
      {u"C:\\x\\notvelmoraCertRelay.ocx", kControlFileName, false},
      {u"C:\\x\\velmoraCertRelay.ocx.old", kControlFileName, false},
      {u"C:\\windows\\system32\\other.ocx", kControlFileName, false},
      {u"", kControlFileName, false},
      {u"\"C:\\windows\\system32\\velmoraRelayClear.exe\" /u", kUninstallProgram, true},
      {u"C:\\windows\\system32\\velmoraRelayClear.exe", kUninstallProgram, true},
      {u"C:\\Program Files\\Other\\uninstall.exe velmoraRelayClear.exe.log", kUninstallProgram, false},
      {u"C:\\windows\\system32\\velmoraRelayClear.exe", u"", false},
  };
  for (const Case &c : cases) EXPECT_EQ(ValueNamesFile(c.value, c.file), c.names);
}

TEST(RemovalRules, TheControlsKeysAreProvenByItsFileFirst) {
  const std::vector<OwnedKey> &keys = ControlRegistration();
  ASSERT_EQ(keys.size(), 7u);
  size_t by_file = 0;
  for (size_t i = 0; i < keys.size(); i++) {
    if (keys[i].proof == OwnedKey::Proof::kNamesControlFile) {
      EXPECT_EQ(by_file, i) << "a key proven by the file after one proven through another key";
      by_file++;
      continue;
    }
    // A key proven through another names one proven by the file, examined earlier.
    bool found = false;
    for (size_t j = 0; j < by_file; j++) found = found || keys[j].key == keys[i].ref_key;
    EXPECT_TRUE(found);
  }
  EXPECT_EQ(by_file, 3u);
  for (const OwnedKey &key : keys) {
    EXPECT_EQ(key.key.find(u"Component Categories"), std::u16string::npos);
    EXPECT_EQ(key.key.find(u"Implemented Categories"), std::u16string::npos);
  }
}

}  // namespace
}  // namespace uninstall
}  // namespace v7
