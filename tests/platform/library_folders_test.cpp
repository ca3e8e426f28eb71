#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/folder_texts.h"
#include "platform/fs/library_folders.h"
#include "platform/osver/os_version.h"
#include "platform/locale/process_words.h"
#include "platform/fs/fs.h"
#include "platform/osver/os_version_query.h"

namespace {

OsVersionRecord g_os;
std::u16string g_windows_w, g_profile_w;
std::string g_windows_a, g_profile_a;

bool answer_os(OsVersionRecord *out) {
  *out = g_os;
  return true;
}

template <typename S, typename Char>
bool answer(const S &text, Char *out, size_t cap) {
  if (text.empty() || text.size() >= cap) return false;
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  return true;
}

const FsFolderHooks kHooks = {
    [](char16_t *out, size_t cap) { return answer(g_windows_w, out, cap); },
    [](char *out, size_t cap) { return answer(g_windows_a, out, cap); },
    [](int csidl, char16_t *out, size_t cap) {
      return csidl == kShellFolderProfile && answer(g_profile_w, out, cap);
    },
    [](int csidl, char *out, size_t cap) {
      return csidl == kShellFolderProfile && answer(g_profile_a, out, cap);
    },
};

// "홍길동" in UTF-16, EUC-KR and UTF-8.
const std::u16string kHongW = u"\uD64D\uAE38\uB3D9";
const std::string kHongEuckr = "\xC8\xAB\xB1\xE6\xB5\xBF";
const std::string kHongUtf8 = "\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99";

class LibraryFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    g_windows_w = u"D:\\WINDOWS";
    g_windows_a = "D:\\WINDOWS";
    g_profile_w = u"C:\\users\\" + kHongW;
    g_profile_a = "C:\\users\\" + kHongEuckr;
    platform_set_os_version_hook(answer_os);
    platform_fs_set_folder_hooks(&kHooks);
  }
  void TearDown() override {
    platform_set_os_version_hook(nullptr);
    platform_fs_set_folder_hooks(nullptr);
    set_char_encoding_mode(0);
  }
};

std::string narrow(const char16_t *w) {
  std::string s;
  for (; *w != 0; w++) s += char(*w < 0x80 ? *w : '?');
  return s;
}

struct GenerationCase {
  OsVersionRecord os;
  bool profile_based;
};

// Every OS generation code: before Vista the data lies under Program Files on the Windows drive,
// from Vista on in the profile's low-integrity folder; Program Files itself never moves.
const GenerationCase kGenerations[] = {
    {{1, 4, 0}, false}, {{1, 4, 10}, false}, {{2, 5, 0}, false}, {{2, 5, 1}, false},
    {{2, 6, 0}, true},  {{2, 6, 1}, true},   {{2, 10, 0}, true},
};

TEST_F(LibraryFolders, EachGenerationInEveryEncoding) {
  for (const GenerationCase &c : kGenerations) {
    g_os = c.os;
    SCOPED_TRACE(os_version_code());
    v7::FolderTexts<char> a, u;
    v7::FolderTexts<char16_t> w;
    v7::build_folder_texts(&a);
    v7::build_folder_texts(&w);
    v7::folder_texts_to_utf8(w, &u);
    std::string base_a =
        c.profile_based ? "C:\\users\\" + kHongEuckr + "\\AppData\\LocalLow" : "D:\\Program Files";
    std::string base_u =
        c.profile_based ? "C:\\users\\" + kHongUtf8 + "\\AppData\\LocalLow" : "D:\\Program Files";
    std::u16string base_w =
        c.profile_based ? u"C:\\users\\" + kHongW + u"\\AppData\\LocalLow" : u"D:\\Program Files";
    EXPECT_EQ(base_a, a.user_base);
    EXPECT_EQ(base_a + "\\NPKI", a.npki);
    EXPECT_EQ(base_a + "\\NPKI\\KISA", a.kisa);
    EXPECT_EQ(base_a + "\\velmora", a.lib_data);
    EXPECT_EQ(base_u, u.user_base);
    EXPECT_EQ(base_u + "\\NPKI\\KISA", u.kisa);
    EXPECT_EQ(base_u + "\\velmora", u.lib_data);
    EXPECT_TRUE(base_w == w.user_base);
    EXPECT_TRUE(base_w + u"\\NPKI" == w.npki);
    EXPECT_TRUE(base_w + u"\\NPKI\\KISA" == w.kisa);
    EXPECT_TRUE(base_w + u"\\velmora" == w.lib_data);
    for (const char *pf : {a.program_files, u.program_files}) EXPECT_STREQ("D:\\Program Files", pf);
    for (const char *pf : {a.program_files_npki, u.program_files_npki})
      EXPECT_STREQ("D:\\Program Files\\NPKI", pf);
    EXPECT_EQ("D:\\Program Files\\NPKI", narrow(w.program_files_npki));
  }
}

// The profile's length puts the result just inside or just outside 261 units: a text that does
// not fit is empty, never cut to name another folder.
TEST_F(LibraryFolders, OverflowEmptiesInsteadOfCutting) {
  g_os = {2, 6, 1};
  struct Case {
    size_t hangul;  // 3 UTF-8 bytes each
    bool utf8_fits;
  } cases[] = {{80, true}, {81, false}};
  for (const Case &c : cases) {
    g_profile_w = u"C:\\" + std::u16string(c.hangul, u'\uD64D');  // "C:\" + hangul + "\AppData\LocalLow"
    v7::FolderTexts<char16_t> w;
    v7::FolderTexts<char> u;
    v7::build_folder_texts(&w);
    v7::folder_texts_to_utf8(w, &u);
    EXPECT_EQ(3 + c.hangul + 17, std::char_traits<char16_t>::length(w.user_base));
    EXPECT_EQ(c.utf8_fits ? 3 + 3 * c.hangul + 17 : 0, strlen(u.user_base)) << c.hangul;
    EXPECT_STREQ("D:\\Program Files", u.program_files);
  }
  // 260 units fit with the terminator, 261 do not; the longer texts built on it are empty.
  for (size_t total : {size_t(260), size_t(261)}) {
    g_profile_a = "C:\\" + std::string(total - 3 - 17, 'p');
    v7::FolderTexts<char> a;
    v7::build_folder_texts(&a);
    EXPECT_EQ(total == 260 ? 260u : 0u, strlen(a.user_base));
    EXPECT_STREQ("", a.npki);
    EXPECT_STREQ("", a.kisa);
    EXPECT_STREQ("", a.lib_data);
  }
}

TEST_F(LibraryFolders, UnknownFoldersGiveEmptyTexts) {
  g_os = {2, 6, 1};
  g_windows_a = "\\\\server\\windows";  // no drive letter
  g_profile_a.clear();
  v7::FolderTexts<char> a;
  v7::build_folder_texts(&a);
  for (const char *t : {a.user_base, a.npki, a.kisa, a.lib_data, a.program_files, a.program_files_npki}) {
    EXPECT_STREQ("", t);
  }
}

// The cached texts: built at first use, once for each encoding, whatever the setting was then,
// and the same from every thread.
TEST_F(LibraryFolders, CachedOncePerEncoding) {
  g_os = {2, 6, 1};
  set_char_encoding_mode(0);
  std::vector<std::thread> threads;
  std::vector<const char16_t *> seen(8);
  for (size_t i = 0; i < seen.size(); i++) threads.emplace_back([&seen, i] { seen[i] = npki_folder_w(); });
  for (std::thread &t : threads) t.join();
  for (const char16_t *p : seen) EXPECT_EQ(seen[0], p);
  EXPECT_TRUE(u"C:\\users\\" + kHongW + u"\\AppData\\LocalLow\\NPKI" == seen[0]);

  const std::string low = "\\AppData\\LocalLow";
  EXPECT_EQ("C:\\users\\" + kHongEuckr + low + "\\NPKI", npki_folder());
  set_char_encoding_mode(1);
  EXPECT_EQ("C:\\users\\" + kHongUtf8 + low + "\\NPKI", npki_folder());
  EXPECT_EQ("C:\\users\\" + kHongUtf8 + low + "\\NPKI\\KISA", kisa_folder());
  EXPECT_STREQ(user_base_folder_utf8(), user_base_folder());
  EXPECT_STREQ(lib_data_folder_utf8(), lib_data_folder());
  EXPECT_STREQ(program_files_folder_utf8(), program_files_folder());
  set_char_encoding_mode(0);
  EXPECT_EQ("C:\\users\\" + kHongEuckr + low + "\\NPKI\\KISA", kisa_folder());
  EXPECT_EQ("D:\\Program Files\\NPKI", std::string(program_files_npki_folder()));

  // Later changes of the platform's answers do not reach the built texts.
  const char *before = user_base_folder();
  g_os = {2, 5, 1};
  g_profile_a = "E:\\other";
  EXPECT_EQ(before, user_base_folder());
  EXPECT_EQ("C:\\users\\" + kHongEuckr + low, user_base_folder());
}

#ifdef _WIN32
// The platform's own answers (no seams): the Windows drive's Program Files, and the profile's
// low-integrity folder on the version the system reports.
TEST(LibraryFoldersPlatform, RealFolderQueries) {
  v7::FolderTexts<char16_t> w;
  v7::build_folder_texts(&w);
  std::string pf = narrow(w.program_files);
  ASSERT_EQ(16u, pf.size()) << pf;
  EXPECT_EQ(":\\Program Files", pf.substr(1));
  std::string base = narrow(w.user_base);
  if (os_version_code() >= kOsVista) {
    ASSERT_GT(base.size(), 17u);
    EXPECT_EQ("\\AppData\\LocalLow", base.substr(base.size() - 17));
  } else {
    EXPECT_EQ(pf, base);
  }
}
#endif

}  // namespace
