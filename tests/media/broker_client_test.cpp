#include <gtest/gtest.h>

#ifdef _WIN32
#include <objbase.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "media/broker_client.h"
#include "pki/text/file_broker.h"
#include "pki/text/files.h"
#include "platform/fs/fs.h"
#include "platform/osver/os_version_query.h"
#include "platform/ui/message_box.h"
#include "tests/modules/broker/standin_broker.h"

namespace {

const char kRoot[] = "broker_test_tmp";
std::u16string g_documents = u"broker_test_tmp\\Documents";
std::string g_box_caption;
int g_boxes = 0;

int record_box(const char *, const char *caption, unsigned) {
  g_boxes++;
  g_box_caption = caption != nullptr ? caption : "";
  return 1;
}

bool answer_vista7(OsVersionRecord *out) {
  *out = {2, 6, 1};
  return true;
}

bool copy_to(const std::u16string &s, char16_t *out, size_t cap) {
  if (s.empty() || s.size() >= cap) return false;
  std::copy(s.begin(), s.end(), out);
  out[s.size()] = 0;
  return true;
}

const FsFolderHooks kFolderHooks = {
    nullptr,
    nullptr,
    [](int csidl, char16_t *out, size_t cap) {
      return csidl == kShellFolderDocuments && copy_to(g_documents, out, cap);
    },
    nullptr,
};
const FsQueryHooks kQueryHooks = {
    [](const char16_t *, FsDriveInfo *out) {
      *out = {false, true};
      return true;
    },
    [](char16_t *out, size_t cap) { return copy_to(u"broker_test_tmp\\profile", out, cap); },
};

std::string read_text(const std::u16string &path) {
  uint8_t *data = nullptr;
  size_t len = 0;
  if (platform_fs_read_all_w(path.c_str(), &data, &len) != kFsOk) return "<unreadable>";
  std::string s(reinterpret_cast<char *>(data), len);
  std::free(data);
  return s;
}

class BrokerClient : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove_all(kRoot);
    std::filesystem::create_directory(kRoot);
    StandinBroker &b = StandinFactory::broker;
    b.dirs.clear();
    b.written.clear();
    b.browsed.clear();
    b.calls = b.released = b.forced_word = 0;
    b.force = false;
    b.choice.clear();
    StandinFactory::created = 0;
    StandinFactory::fail = false;
    g_boxes = 0;
    broker_set_factory(StandinFactory::make);
    v7::set_message_box_hook(record_box);
    platform_fs_set_folder_hooks(&kFolderHooks);
  }
  void TearDown() override {
    broker_set_factory(nullptr);
    v7::set_message_box_hook(nullptr);
    platform_fs_set_folder_hooks(nullptr);
    platform_fs_set_query_hooks(nullptr);
    platform_set_os_version_hook(nullptr);
    set_file_broker(nullptr);
    std::filesystem::remove_all(kRoot);
  }
  StandinBroker &broker = StandinFactory::broker;
};

const uint8_t kKey[] = {0x30, 0x82, 0x01, 0x00, 0xAA};

TEST_F(BrokerClient, BadArgumentsAreRefusedBeforeTheBrokerIsMade) {
  struct DirCase {
    const char16_t *path;
    int code;
  } dirs[] = {
      {nullptr, 1001},          {u"", 1001},        {u"NPKI\\*", 10702}, {u"NPKI\\..\\x", 10702},
      {u"NPKI\\...\\x", 10702}, {u"a\\\\b", 10702},
  };
  for (const DirCase &c : dirs) EXPECT_EQ(c.code, broker_make_dir(c.path));
  struct WriteCase {
    const char16_t *path;
    const uint8_t *data;
    size_t len;
    int code;
  } writes[] = {
      {nullptr, kKey, 5, 1001},           {u"a\\signPri.key", nullptr, 5, 1001},
      {u"a\\signPri.key", kKey, 0, 1001}, {u"", kKey, 5, 1001},
      {u"a\\readme.txt", kKey, 5, 10702}, {u"a\\signPri", kKey, 5, 10702},
      {u"a\\*.key", kKey, 5, 10702},      {u"..\\signPri.key", kKey, 5, 10702},
  };
  for (const WriteCase &c : writes) EXPECT_EQ(c.code, broker_write_file(c.path, c.data, c.len));
  EXPECT_EQ(1001, broker_browse_file(nullptr));
  EXPECT_EQ(1001, errno);
  EXPECT_EQ(0, StandinFactory::created);
  EXPECT_EQ(0, broker.calls);
}

TEST_F(BrokerClient, WritesAndFoldersReachTheBrokerSealed) {
  const std::u16string dir = u"broker_test_tmp\\NPKI";
  const std::u16string file = dir + u"\\signPri.KEY";
  EXPECT_EQ(0, broker_make_dir(dir.c_str()));
  EXPECT_EQ(0, broker_write_file(file.c_str(), kKey, sizeof(kKey)));
  ASSERT_EQ(1u, broker.dirs.size());
  EXPECT_TRUE(broker.dirs[0] == dir);
  ASSERT_EQ(1u, broker.written.size());
  EXPECT_TRUE(broker.written[0] == file);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(kKey), sizeof(kKey)), read_text(file));
  EXPECT_EQ(1, StandinFactory::created);
}

// The broker is made once and kept, whatever its methods answer; a COM failure of a method is a
// failure of that operation.
TEST_F(BrokerClient, MethodFailuresMapAndTheBrokerIsKept) {
  const char16_t *file = u"broker_test_tmp\\x.der";
  g_documents = u"broker_test_tmp\\Documents";
  for (int32_t word : {int32_t(0x80004005), int32_t(0x80010108), int32_t(1), int32_t(21500)}) {
    broker.force = true;
    broker.forced_word = word;
    EXPECT_EQ(32805, broker_make_dir(u"broker_test_tmp\\d"));
    EXPECT_EQ(32804, broker_write_file(file, kKey, sizeof(kKey)));
    char16_t *chosen = nullptr;
    EXPECT_EQ(word == 21500 ? 21500 : 32802, broker_browse_file(&chosen));
    EXPECT_EQ(nullptr, chosen);
  }
  // A folder answer of 0 is success too; a write needs the success word.
  broker.forced_word = 0;
  EXPECT_EQ(0, broker_make_dir(u"broker_test_tmp\\d"));
  EXPECT_EQ(32804, broker_write_file(file, kKey, sizeof(kKey)));
  broker.force = false;
  EXPECT_EQ(0, broker_write_file(file, kKey, sizeof(kKey)));
  EXPECT_EQ(1, StandinFactory::created);
  EXPECT_EQ(15, broker.calls);
  EXPECT_EQ(0, g_boxes);
}

TEST_F(BrokerClient, FileChoiceStartsInDocuments) {
  char16_t *chosen = reinterpret_cast<char16_t *>(1);
  EXPECT_EQ(21500, broker_browse_file(&chosen));  // the user closed the dialog
  EXPECT_EQ(nullptr, chosen);
  ASSERT_EQ(1u, broker.browsed.size());
  EXPECT_TRUE(broker.browsed[0] == g_documents);

  broker.choice = u"C:\\certs\\\uD64D.pfx";
  EXPECT_EQ(0, broker_browse_file(&chosen));
  ASSERT_NE(nullptr, chosen);
  EXPECT_TRUE(broker.choice == chosen);
  std::free(chosen);

  platform_fs_set_folder_hooks(nullptr);
  const FsFolderHooks none = {nullptr, nullptr, [](int, char16_t *, size_t) { return false; }, nullptr};
  platform_fs_set_folder_hooks(&none);
  EXPECT_EQ(1001, broker_browse_file(&chosen));
  EXPECT_EQ(2, broker.calls);
}

// A failed creation shows the platform's error box, is tried again on the next call, and a
// release lets the next call make a new broker.
TEST_F(BrokerClient, CreationRetriedAndReleasedSafely) {
  StandinFactory::fail = true;
  EXPECT_EQ(int32_t(0x800401EA), broker_create(nullptr));
  EXPECT_EQ(32800, broker_write_file(u"a\\b.p12", kKey, sizeof(kKey)));
  EXPECT_EQ(2, g_boxes);
  EXPECT_EQ("CoGetObject Error", g_box_caption);
  StandinFactory::fail = false;
  EXPECT_EQ(0, broker_create(nullptr));
  EXPECT_EQ(0, broker_create(nullptr));
  EXPECT_EQ(1, StandinFactory::created);
  broker_release();
  broker_release();
  EXPECT_EQ(1, broker.released);
  EXPECT_EQ(0, broker_make_dir(u"broker_test_tmp\\again"));
  EXPECT_EQ(2, StandinFactory::created);
}

TEST_F(BrokerClient, ThreadsShareOneBroker) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; i++)
    threads.emplace_back([] { EXPECT_EQ(0, broker_make_dir(u"broker_test_tmp\\t")); });
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(1, StandinFactory::created);
  EXPECT_EQ(8, broker.calls);
}

// The file utilities send a write to the broker only where the process may not write itself:
// from Vista on, outside the profile's low-integrity folder.
TEST_F(BrokerClient, FileUtilitiesRouteThroughTheBrokerOnlyWhenNeeded) {
  platform_set_os_version_hook(answer_vista7);
  platform_fs_set_query_hooks(&kQueryHooks);
  set_file_broker(broker_file_broker());

  const std::u16string store = u"broker_test_tmp\\Program Files\\NPKI\\yessign";
  const std::u16string key = store + u"\\signPri.key";
  EXPECT_EQ(1, make_dirs_w(store.c_str()));
  EXPECT_EQ(sizeof(kKey), file_write_all_w(key.c_str(), kKey, sizeof(kKey)));
  EXPECT_EQ(3u, broker.dirs.size());  // Program Files, NPKI, yessign
  ASSERT_EQ(1u, broker.written.size());
  EXPECT_TRUE(broker.written[0] == key);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(kKey), sizeof(kKey)), read_text(key));
  // What the broker refuses fails the write with its code, and nothing is written directly.
  EXPECT_EQ(0u, file_write_all_w((store + u"\\notes.txt").c_str(), kKey, sizeof(kKey)));
  EXPECT_EQ(10702, errno);
  EXPECT_FALSE(platform_fs_exists_w((store + u"\\notes.txt").c_str()));

  std::filesystem::create_directories("broker_test_tmp/profile/AppData/LocalLow");  // the profile exists
  const int calls = broker.calls;
  const std::u16string low = u"broker_test_tmp\\profile\\AppData\\LocalLow\\NPKI";
  EXPECT_EQ(1, make_dirs_w(low.c_str()));
  EXPECT_EQ(sizeof(kKey), file_write_all_w((low + u"\\notes.txt").c_str(), kKey, sizeof(kKey)));
  EXPECT_EQ(calls, broker.calls);
  EXPECT_TRUE(platform_fs_exists_w((low + u"\\notes.txt").c_str()));
}

// Without the seam the platform's own factory runs: there is no broker to reach here (the
// elevation moniker fails under Wine), so the box is shown and the write refused.
TEST_F(BrokerClient, PlatformFactoryFailsCleanly) {
#ifdef _WIN32
  ASSERT_GE(CoInitialize(nullptr), 0);  // the moniker itself must fail, not a missing COM
#endif
  broker_set_factory(nullptr);
  EXPECT_EQ(32800, broker_write_file(u"a\\signCert.der", kKey, sizeof(kKey)));
  EXPECT_EQ(1, g_boxes);
  EXPECT_LT(broker_create(nullptr), 0);
  EXPECT_EQ(0, StandinFactory::created);
#ifdef _WIN32
  CoUninitialize();
#endif
}

}  // namespace
