#include "pki/text/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pki/text/codepage.h"
#include "pki/text/file_broker.h"
#include "platform/locale/process_words.h"
#include "pki/text/strings.h"
#include "platform/fs/fs.h"
#include "platform/osver/os_version_query.h"

namespace {

namespace fs = std::filesystem;

OsVersionRecord g_os = {2, 6, 1};
bool answer_os(OsVersionRecord *out) {
  *out = g_os;
  return true;
}

std::u16string g_profile;
FsDriveInfo g_drive = {false, true};
int g_queries = 0;  // drive and profile questions asked
const FsQueryHooks kHooks = {
    [](const char16_t *, FsDriveInfo *out) {
      ++g_queries;
      *out = g_drive;
      return true;
    },
    [](char16_t *out, size_t cap) {
      ++g_queries;
      return wstr_copy_s(cap, g_profile.c_str(), out) == 0;
    },
};

class FakeBroker : public FileBroker {
 public:
  int write_file(const char16_t *path, const uint8_t *data, size_t length) override {
    writes.push_back(path);
    bytes.assign(data, data + length);
    return answer;
  }
  int make_dir(const char16_t *path) override {
    dirs.push_back(path);
    return answer;
  }
  std::vector<std::u16string> writes, dirs;
  std::vector<uint8_t> bytes;
  int answer = 0;
};

std::string narrow(const std::u16string &s) {
  char *out = nullptr;
  EXPECT_EQ(wide_to_utf8(s.c_str(), &out), 0);
  std::string r = out != nullptr ? out : "";
  free(out);
  return r;
}

// A fresh folder per test; the OS seams set to Windows 7 with the profile at the folder, so that
// its AppData\LocalLow is the directly writable area.
class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_mode_ = char_encoding_mode();
    saved_lang_ = language_id();
    root_ = fs::temp_directory_path() / ("v7text-" + std::to_string(std::random_device{}()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(root_);
    low_ = (root_ / "AppData" / "LocalLow").u16string();
    fs::create_directories(low_);
    g_profile = root_.u16string();
    g_drive = {false, true};
    platform_fs_set_query_hooks(&kHooks);
    platform_set_os_version_hook(answer_os);
    g_os = {2, 6, 1};
    set_file_broker(&broker_);
    set_char_encoding_mode(1);
    set_language_id(9);
  }
  void TearDown() override {
    set_file_broker(nullptr);
    platform_set_os_version_hook(nullptr);
    platform_fs_set_query_hooks(nullptr);
    set_char_encoding_mode(saved_mode_);
    set_language_id(saved_lang_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::u16string in_low(const std::u16string &name) const { return low_ + u"\\" + name; }

  fs::path root_;
  std::u16string low_;
  FakeBroker broker_;
  int saved_mode_ = 0;
  uint16_t saved_lang_ = 9;
};

const uint8_t kData[] = {0x30, 0x82, 0x00, 0x01, 0xFF, 0x00, 0x0A, 0x0D};

TEST_F(Files, WholeFileRoundTripsByEveryPathForm) {
  const std::u16string wide = in_low(u"\uD55C\uAE00 signCert.der");  // a Hangul name
  ASSERT_EQ(file_write_all_w(wide.c_str(), kData, sizeof(kData)), sizeof(kData));
  uint8_t *buf = nullptr;
  ASSERT_EQ(file_read_all_w(wide.c_str(), &buf), sizeof(kData));
  EXPECT_EQ(memcmp(buf, kData, sizeof(kData)), 0);
  free(buf);
  const std::string utf8 = narrow(wide);
  ASSERT_EQ(file_read_all_utf8(utf8.c_str(), &buf), sizeof(kData));
  free(buf);
  EXPECT_EQ(file_read_all(utf8.c_str(), &buf), sizeof(kData));  // the setting is UTF-8
  free(buf);
  // Rewriting replaces the whole file, shorter or not.
  ASSERT_EQ(file_write_all_utf8(utf8.c_str(), kData, 3), 3u);
  ASSERT_EQ(file_read_all_w(wide.c_str(), &buf), 3u);
  free(buf);
  EXPECT_TRUE(broker_.writes.empty());
  EXPECT_EQ(file_exists_w(wide.c_str()), 1);
  EXPECT_EQ(file_exists_utf8(utf8.c_str()), 1);
  EXPECT_EQ(file_exists(utf8.c_str()), 1);
}

TEST_F(Files, EuckrNarrowPathReachesTheSameFile) {
  const std::u16string wide = in_low(u"\uD64D\uAE38\uB3D9.key");
  ASSERT_EQ(file_write_all_w(wide.c_str(), kData, sizeof(kData)), sizeof(kData));
  set_char_encoding_mode(0);
  char *euckr = nullptr;
  ASSERT_EQ(wide_to_euckr(wide.c_str(), &euckr), 0);
  char16_t conv[kWidePathCapacity];
  EXPECT_EQ(path_to_wide_kind(euckr, conv, kWidePathCapacity), kPathWide);
  EXPECT_EQ(std::u16string(conv), wide);
  uint8_t *buf = nullptr;
  EXPECT_EQ(file_read_all(euckr, &buf), sizeof(kData));
  free(buf);
  EXPECT_EQ(file_exists(euckr), 1);
  free(euckr);
}

TEST_F(Files, EmptyMissingAndUnreadableFiles) {
  const std::u16string empty = in_low(u"empty.der");
  ASSERT_EQ(file_write_all_w(empty.c_str(), nullptr, 0), 0u);
  EXPECT_EQ(errno, 0);
  uint8_t *buf = reinterpret_cast<uint8_t *>(1);
  errno = 77;
  EXPECT_EQ(file_read_all_w(empty.c_str(), &buf), 0u);
  EXPECT_EQ(buf, nullptr);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(file_read_all_w(in_low(u"missing.der").c_str(), &buf), 0u);
  EXPECT_EQ(errno, 1009);
  EXPECT_EQ(file_read_all_w(in_low(u"no\\such\\folder.der").c_str(), &buf), 0u);
  EXPECT_EQ(errno, 1009);
  EXPECT_EQ(file_read_all_w(low_.c_str(), &buf), 0u);  // a folder is no file
  EXPECT_TRUE(errno == 1003 || errno == 1004) << errno;
  EXPECT_EQ(file_read_all_w(nullptr, &buf), 0u);
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(file_read_all(narrow(empty).c_str(), nullptr), 0u);
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(file_read_all_utf8("\xC0\xAF", &buf), 0u);
  EXPECT_EQ(errno, 33004);
  EXPECT_EQ(file_write_all_w(empty.c_str(), nullptr, 4), 0u);
  EXPECT_EQ(errno, 1001);
}

TEST_F(Files, PathsAtAndOverTheLengthLimit) {
  // Segments of 50 characters keep every folder name within the file system's own limit.
  std::u16string at = low_;
  while (at.size() + 51 < kWidePathCapacity - 1) at += u"\\" + std::u16string(50, u'd');
  const std::u16string dir = at;
  at += u"\\" + std::u16string(kWidePathCapacity - 1 - at.size() - 5, u'f') + u".der";
  ASSERT_EQ(at.size(), kWidePathCapacity - 1);
  const std::u16string over = at.substr(0, at.size() - 4) + u"x.der";
  ASSERT_EQ(over.size(), kWidePathCapacity);
  EXPECT_EQ(file_write_all_w(over.c_str(), kData, 1), 0u);
  EXPECT_EQ(errno, 1001);
  uint8_t *buf = nullptr;
  EXPECT_EQ(file_read_all_w(over.c_str(), &buf), 0u);
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(file_read_all_utf8(narrow(over).c_str(), &buf), 0u);
  EXPECT_EQ(errno, 1001);
  char16_t conv[kWidePathCapacity];
  EXPECT_EQ(path_to_wide_kind(narrow(over).c_str(), conv, kWidePathCapacity), -1);
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(make_dirs_w(over.c_str()), 0);
  // At the limit the path is not refused as too long (Windows itself may still refuse it).
  ASSERT_EQ(make_dirs_w(dir.c_str()), 1);
  size_t n = file_write_all_w(at.c_str(), kData, 2);
#if defined(_WIN32)
  if (n == 0) {
    EXPECT_NE(errno, 1001);
  }
#else
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(file_read_all_utf8(narrow(at).c_str(), &buf), 2u);
  free(buf);
#endif
}

TEST_F(Files, MakeDirsCreatesEveryMissingParent) {
  const std::u16string deep = in_low(u"NPKI/\uD55C\uAD6D/USER\\holder/");
  EXPECT_EQ(make_dirs_w(deep.c_str()), 1);
  EXPECT_TRUE(platform_fs_is_dir_w(deep.c_str()));
  EXPECT_EQ(make_dirs_w(deep.c_str()), 1);  // already there
  EXPECT_EQ(make_dir_w(deep.c_str()), 1);
  const std::string utf8 = narrow(in_low(u"a/b/c"));
  EXPECT_EQ(make_dirs(utf8.c_str()), 1);
  EXPECT_EQ(make_dirs_utf8(narrow(in_low(u"a/b/c/d")).c_str()), 1);
  EXPECT_EQ(make_dir_utf8(narrow(in_low(u"a/e")).c_str()), 1);
  EXPECT_EQ(file_exists_utf8(narrow(in_low(u"a/b/c/d")).c_str()), 1);
  EXPECT_EQ(make_dir_w(in_low(u"x/y").c_str()), 0);  // one folder only: the parent is missing
  // A file where a folder should go.
  const std::u16string file = in_low(u"plain.der");
  ASSERT_EQ(file_write_all_w(file.c_str(), kData, 1), 1u);
  EXPECT_EQ(make_dirs_w((file + u"/sub").c_str()), 0);
  EXPECT_EQ(make_dirs_w(u""), 1);
  EXPECT_TRUE(broker_.dirs.empty());
}

// Outside LocalLow on Vista and later the write goes to the broker with the converted path; inside
// it, before Vista, or on a removable drive without access-control lists it is direct.
TEST_F(Files, DirectOrBrokerDecision) {
  const std::u16string outside = (root_ / "Program Files" / "NPKI" / "signPri.key").u16string();
  const std::u16string inside = in_low(u"signPri.key");
  EXPECT_EQ(is_direct_write_path_w(inside.c_str()), 1);
  EXPECT_EQ(is_direct_write_path_w(outside.c_str()), 0);
  EXPECT_EQ(is_direct_write_path_utf8(narrow(outside).c_str()), 0);
  EXPECT_EQ(file_write_all_w(outside.c_str(), kData, sizeof(kData)), sizeof(kData));
  ASSERT_EQ(broker_.writes.size(), 1u);
  EXPECT_EQ(broker_.writes[0], outside);
  EXPECT_EQ(broker_.bytes, std::vector<uint8_t>(kData, kData + sizeof(kData)));
  EXPECT_EQ(file_exists_w(outside.c_str()), 0);
  broker_.answer = 32804;
  EXPECT_EQ(file_write_all(narrow(outside).c_str(), kData, 2), 0u);
  EXPECT_EQ(errno, 32804);
  EXPECT_EQ(make_dir_w((root_ / "Program Files").u16string().c_str()), 0);
  EXPECT_EQ(broker_.dirs.size(), 1u);
  broker_.answer = 0;
  EXPECT_EQ(file_write_all_w(inside.c_str(), kData, 2), 2u);
  EXPECT_EQ(broker_.writes.size(), 2u);

  g_os = {2, 5, 1};  // XP: everything is direct
  EXPECT_EQ(is_direct_write_path_w(outside.c_str()), 1);
  g_os = {2, 6, 1};
  g_drive = {true, false};  // a FAT memory stick
  EXPECT_EQ(is_direct_write_path_w(outside.c_str()), 1);
  g_drive = {true, true};
  EXPECT_EQ(is_direct_write_path_w(outside.c_str()), 0);
  g_drive = {false, true};

  // Case and slashes do not matter when finding LocalLow.
  std::u16string mixed = inside;
  for (char16_t &c : mixed) {
    if (c == u'\\') c = u'/';
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  }
  EXPECT_EQ(is_direct_write_path_w(mixed.c_str()), 1);

  // Without a broker client the write is refused, not redirected.
  set_file_broker(nullptr);
  EXPECT_EQ(file_write_all_w(outside.c_str(), kData, 2), 0u);
  EXPECT_EQ(errno, 32800);
  EXPECT_EQ(make_dirs_w((root_ / "Program Files" / "NPKI").u16string().c_str()), 0);
}

// Who may write a path is asked on writes only: a narrow read, an existence test or a walk up
// existing folders reaches the file with no drive or profile question, in every encoding and
// language, inside LocalLow or outside it (where a write goes to the broker).
TEST_F(Files, ReadsAskNoWritePermission) {
  const std::u16string inside = in_low(u"\uD64D\uAE38\uB3D9.key");
  const std::u16string outside = (root_ / "Program Files" / "NPKI" / "signCert.der").u16string();
  fs::create_directories(fs::path(outside).parent_path());
  for (const std::u16string &wide : {inside, outside})
    ASSERT_EQ(platform_fs_write_all_w(wide.c_str(), kData, sizeof(kData)), kFsOk);
  const struct {
    int mode;
    uint16_t language;
  } cases[] = {{1, 9}, {0, 9}, {1, 18}, {0, 18}};
  for (const auto &c : cases) {
    set_char_encoding_mode(c.mode);
    set_language_id(c.language);
    auto to_setting = [&](const std::u16string &wide) {
      char *out = nullptr;
      EXPECT_EQ(c.mode == 1 ? wide_to_utf8(wide.c_str(), &out) : wide_to_euckr(wide.c_str(), &out), 0);
      std::string r = out != nullptr ? out : "";
      free(out);
      return r;
    };
    for (const std::u16string &wide : {inside, outside}) {
      const std::string path = to_setting(wide);
      const std::string folder = to_setting(fs::path(wide).parent_path().u16string());
      SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.language) + " " + path);
      g_queries = 0;
      uint8_t *buf = nullptr;
      const size_t n = file_read_all(path.c_str(), &buf);
      free(buf);
      const int there = file_exists(path.c_str());
      const int made = make_dirs(folder.c_str());
      EXPECT_EQ(g_queries, 0);
      // A Korean interface hands an EUC-KR name to the system's own code page, which here is not
      // Korean: that name is another file.
      if (c.mode == 1 || c.language != 18) {
        EXPECT_EQ(n, sizeof(kData));
        EXPECT_EQ(there, 1);
        EXPECT_EQ(made, 1);
      }
      g_queries = 0;
      file_write_all(path.c_str(), kData, sizeof(kData));
      EXPECT_GT(g_queries, 0);
    }
  }
}

TEST_F(Files, PathKindTable) {
  const std::u16string low_name = in_low(u"\uD55C.der"), out_name = (root_ / u"\uD55C.der").u16string();
  char *low_utf8 = nullptr, *out_utf8 = nullptr, *low_euckr = nullptr, *out_euckr = nullptr;
  ASSERT_EQ(wide_to_utf8(low_name.c_str(), &low_utf8), 0);
  ASSERT_EQ(wide_to_utf8(out_name.c_str(), &out_utf8), 0);
  ASSERT_EQ(wide_to_euckr(low_name.c_str(), &low_euckr), 0);
  ASSERT_EQ(wide_to_euckr(out_name.c_str(), &out_euckr), 0);
  const OsVersionRecord win98 = {1, 4, 10}, xp = {2, 5, 1}, win7 = {2, 6, 1};
  struct {
    int mode;
    uint16_t lang;
    OsVersionRecord os;
    const char *path;
    int want;
    int want_errno;
  } cases[] = {
      {1, 9, win7, low_utf8, kPathWide, 0},         {1, 9, win7, out_utf8, kPathBroker, 0},
      {1, 18, xp, out_utf8, kPathWide, 0},          {1, 9, win98, out_utf8, kPathWide, 0},
      {1, 9, win98, out_euckr, kPathNarrow, 33004},  // not UTF-8: falls back, the code stays
      {1, 9, win7, out_euckr, kPathBroker, 33004},   // ... and converts as EUC-KR
      {0, 9, win7, low_euckr, kPathWide, 0},        {0, 9, win7, out_euckr, kPathBroker, 0},
      {0, 9, xp, out_euckr, kPathWide, 0},          {0, 9, win98, out_euckr, kPathNarrow, 0},
      {0, 9, win7, "\x80\x80", kPathNarrow, 33002}, {0, 18, win7, low_euckr, kPathNarrow, 0},
      {0, 18, xp, out_euckr, kPathNarrow, 0},
  };
  for (auto &c : cases) {
    set_char_encoding_mode(c.mode);
    set_language_id(c.lang);
    g_os = c.os;
    char16_t wide[kWidePathCapacity];
    errno = 0;
    EXPECT_EQ(path_to_wide_kind(c.path, wide, kWidePathCapacity), c.want)
        << c.mode << " " << c.lang << " " << c.os.major;
    EXPECT_EQ(errno, c.want_errno);
    if (c.want != kPathNarrow) {
      EXPECT_TRUE(std::u16string(wide) == low_name || std::u16string(wide) == out_name);
    }
  }
  g_os = win7;
  EXPECT_EQ(path_to_wide_kind_utf8(out_utf8, nullptr, 0), -1);
  char16_t wide[kWidePathCapacity];
  EXPECT_EQ(path_to_wide_kind_utf8(low_utf8, wide, kWidePathCapacity), kPathWide);
  EXPECT_EQ(path_to_wide_kind_utf8(out_euckr, wide, kWidePathCapacity), -1);
  EXPECT_EQ(errno, 33004);
  set_language_id(18);
  EXPECT_EQ(path_code_page(), 0u);
  set_language_id(9);
  EXPECT_EQ(path_code_page(), 51949u);
  g_os = win98;
  EXPECT_EQ(path_code_page(), 0u);
  free(low_utf8), free(out_utf8), free(low_euckr), free(out_euckr);
}

TEST_F(Files, WalkListsTheEntriesOfAFolder) {
  ASSERT_EQ(make_dirs_w(in_low(u"w/\uD55C").c_str()), 1);
  ASSERT_EQ(file_write_all_w(in_low(u"w/a.der").c_str(), kData, 1), 1u);
  std::vector<std::pair<std::u16string, bool>> seen;
  ASSERT_TRUE(platform_fs_walk_w(
      in_low(u"w").c_str(),
      [](const char16_t *name, bool is_dir, void *ctx) {
        static_cast<decltype(seen) *>(ctx)->push_back({name, is_dir});
        return true;
      },
      &seen));
  std::sort(seen.begin(), seen.end());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(std::u16string(u"a.der"), false));
  EXPECT_EQ(seen[1], std::make_pair(std::u16string(u"\uD55C"), true));
  std::vector<std::string> narrow_seen;
  ASSERT_TRUE(platform_fs_walk(
      narrow(in_low(u"w")).c_str(),
      [](const char *name, bool, void *ctx) {
        static_cast<std::vector<std::string> *>(ctx)->push_back(name);
        return true;
      },
      &narrow_seen));
  EXPECT_EQ(narrow_seen.size(), 2u);
  EXPECT_NE(std::find(narrow_seen.begin(), narrow_seen.end(), "a.der"), narrow_seen.end());
  int visits = 0;
  ASSERT_TRUE(platform_fs_walk_w(
      in_low(u"w").c_str(),
      [](const char16_t *, bool, void *ctx) {
        ++*static_cast<int *>(ctx);
        return false;  // stop at the first entry
      },
      &visits));
  EXPECT_EQ(visits, 1);
  EXPECT_FALSE(platform_fs_walk_w(
      in_low(u"nowhere").c_str(), [](const char16_t *, bool, void *) { return true; }, nullptr));
}

}  // namespace
