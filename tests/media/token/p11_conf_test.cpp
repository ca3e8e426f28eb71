// The token configuration file: the list line, sections and their keys, hostile and truncated
// lines; and the approval check against files signed by the test PKI's roots.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "media/token/p11_conf.h"
#include "tests/harness/vectors.h"
#include "tests/media/token/token_test_util.h"

namespace {

struct ListDeleter {
  void operator()(P11_TOKEN_LIST *l) const { p11_conf_free(l); }
};
using List = std::unique_ptr<P11_TOKEN_LIST, ListDeleter>;

List parse(const std::string &text, const char *skip = "SDisk") {
  return List(p11_conf_parse(text.data(), text.size(), skip));
}

std::string str(const char *s) { return s == nullptr ? "<null>" : s; }

// "index section name|info|programs|signature" per entry.
std::vector<std::string> entries(const P11_TOKEN_LIST *list) {
  std::vector<std::string> out;
  for (const P11_TOKEN_ENTRY *e = list->first; e != nullptr; e = e->next)
    out.push_back(std::to_string(e->index) + " " + str(e->section) + " " + str(e->name) + "|" + str(e->info) +
                  "|" + str(e->programs) + "|" + str(e->signature_token));
  return out;
}

TEST(P11Conf, ListLineSectionsAndKeys) {
  const std::string text =
      "; vendor file\r\n[Tokens]\r\nList = AAA  SDisk BBB\tCCC DDD // the installed ones\r\n"
      "[AAA]\r\nInfo=Token A\r\nName=C:\\a\\p11.dll //comment\r\nPrograms=C:\\a\\p11.dll,C:\\a\\x.exe\r\n"
      "SignatureToken=C:\\a\\sig.der\r\nName=C:\\a\\later.dll\r\n"
      "[SDisk]\r\nInfo=secure disk\r\nName=sd.dll\r\n"
      "[BBB]\r\nName = spaced.dll\r\nInfo=Token B\r\nOther=ignored\r\n"
      "[CCC]\r\nName=no info.dll\r\n";
  List list = parse(text);
  ASSERT_NE(nullptr, list);
  // BBB\tCCC is one name once split at spaces and trimmed only at its ends; DDD has no section
  // but still takes its number.
  EXPECT_EQ((std::vector<std::string>{
                "1 AAA C:\\a\\later.dll|Token A|C:\\a\\p11.dll,C:\\a\\x.exe|C:\\a\\sig.der",
            }),
            entries(list.get()));

  List without_skip = parse("[x]\nL=AAA SDisk BBB DDD\n[AAA]\nInfo=a\n[SDisk]\nInfo=s\n[BBB]\nInfo=b\n"
                            "Name=C:\\b.dll //c\n[DDD]\nInfo=d\n",
                            "SDisk");
  ASSERT_NE(nullptr, without_skip);
  EXPECT_EQ((std::vector<std::string>{"1 AAA <null>|a|<null>|<null>", "2 BBB C:\\b.dll |b|<null>|<null>",
                                      "3 DDD <null>|d|<null>|<null>"}),
            entries(without_skip.get()));
  List all = parse("[x]\nL=AAA SDisk\n[AAA]\nInfo=a\n[SDisk]\nInfo=s\n", nullptr);
  ASSERT_NE(nullptr, all);
  EXPECT_EQ((std::vector<std::string>{"1 AAA <null>|a|<null>|<null>", "2 SDisk <null>|s|<null>|<null>"}),
            entries(all.get()));
}

TEST(P11Conf, NumberingSkipsOnlyTheSkipName) {
  List list = parse("[x]\nL=GONE AAA SDisk BBB\n[AAA]\nInfo=a\n[BBB]\nInfo=b\n");
  ASSERT_NE(nullptr, list);
  EXPECT_EQ((std::vector<std::string>{"2 AAA <null>|a|<null>|<null>", "3 BBB <null>|b|<null>|<null>"}),
            entries(list.get()));
}

struct BadCase {
  const char *what;
  std::string text;
};

TEST(P11Conf, UnparsableFilesGiveNoList) {
  const BadCase cases[] = {
      {"empty", ""},
      {"no bracket", "List=AAA\n[AAA\nInfo=a\n"},
      {"no line after the bracket", "[x]"},
      {"list line without its end", "[x]\nL=AAA"},
      {"list line without =", "[x]\nAAA BBB\n[AAA]\nInfo=a\n"},
      {"NUL before the bracket", std::string("L=AAA\0[x]\nL=AAA\n[AAA]\nInfo=a\n", 30)},
  };
  for (const BadCase &c : cases) EXPECT_EQ(nullptr, parse(c.text)) << c.what;
  EXPECT_EQ(nullptr, p11_conf_parse(nullptr, 5, nullptr));
}

TEST(P11Conf, HostileAndOverlongLines) {
  const std::string long_path = "C:\\" + std::string(P11_CONF_MAX_VALUE, 'p');  // 1,026 characters
  const std::string fits = "C:\\" + std::string(P11_CONF_MAX_VALUE - 3, 'q');  // 1,023
  const std::string long_name(P11_CONF_MAX_NAME + 1, 'N');
  const std::string name63(P11_CONF_MAX_NAME, 'M');
  const std::string text = "[x]\nL=LONG FIT " + long_name + " " + name63 + " BRK\n[LONG]\nInfo=long\nName=" +
                           long_path + "\n[FIT]\nInfo=fits\nName=" + fits + "\n[" + long_name + "]\nInfo=n\n[" +
                           name63 + "]\nInfo=m\n" + std::string(300, 'k') + "=" + std::string(2000, 'v') +
                           "\n[BRK]\nInfo=a [bracket] ends the section\nName=C:\\never.dll\n";
  List list = parse(text);
  ASSERT_NE(nullptr, list);
  // A library path past the limit is never cut: its token is left out. An overlong name is not
  // listed; a long line with an unknown key is ignored; a "[" in a value ends the section early.
  EXPECT_EQ((std::vector<std::string>{"2 FIT " + fits + "|fits|<null>|<null>",
                                      "3 " + name63 + " <null>|m|<null>|<null>",
                                      "4 BRK <null>|a |<null>|<null>"}),
            entries(list.get()));

  // Every cut of a valid file parses or is refused, never more.
  const std::string good = "[T]\r\nL=AAA BBB\r\n[AAA]\r\nInfo=A\r\nName=C:\\a.dll\r\n[BBB]\r\nInfo=B\r\n";
  for (size_t n = 0; n <= good.size(); ++n) {
    List cut(p11_conf_parse(good.data(), n, nullptr));
    if (cut == nullptr) continue;
    for (const P11_TOKEN_ENTRY *e = cut->first; e != nullptr; e = e->next)
      ASSERT_TRUE(e->index == 1 || e->index == 2) << n;
  }
}

// Line ends as installers and editors leave them: LF, CR LF, CR CR LF, a CR alone inside a line
// (kept), CR at the end of the file, and LF CR (the CR then opens the next line).
TEST(P11Conf, LineEndsOfEveryKind) {
  struct Case {
    const char *what;
    std::string text;
    std::vector<std::string> entries;
  } cases[] = {
      {"LF", "[T]\nL=AAA BBB\n[AAA]\nInfo=A\nName=a.dll\n[BBB]\nInfo=B\n",
       {"1 AAA a.dll|A|<null>|<null>", "2 BBB <null>|B|<null>|<null>"}},
      {"CR LF", "[T]\r\nL=AAA BBB\r\n[AAA]\r\nInfo=A\r\nName=a.dll\r\n[BBB]\r\nInfo=B\r\n",
       {"1 AAA a.dll|A|<null>|<null>", "2 BBB <null>|B|<null>|<null>"}},
      {"both in one file", "[T]\nL=AAA BBB\r\n[AAA]\nInfo=A\r\nName=a.dll\n[BBB]\r\nInfo=B",
       {"1 AAA a.dll|A|<null>|<null>", "2 BBB <null>|B|<null>|<null>"}},
      {"CR CR LF", "[T]\r\r\nL=AAA\r\r\n[AAA]\r\r\nInfo=A\r\r\r\nName=a.dll\r\r\n",
       {"1 AAA a.dll|A|<null>|<null>"}},
      {"CR inside a line", "[T]\nL=AAA\n[AAA]\nInfo=A\rB\r\nName=\ra.dll\n", {"1 AAA \ra.dll|A\rB|<null>|<null>"}},
      {"CR at the end of the file", "[T]\r\nL=AAA\r\n[AAA]\r\nInfo=A\r", {"1 AAA <null>|A\r|<null>|<null>"}},
      {"LF CR", "[T]\n\rL=AAA\n\r[AAA]\nInfo=A\nName=a.dll\n\r", {"1 AAA a.dll|A|<null>|<null>"}},
      {"LF CR before a key", "[T]\nL=AAA\n[AAA]\nInfo=A\n\rName=a.dll\n", {"1 AAA <null>|A|<null>|<null>"}},
      {"CR LF in the list line's comment", "[T]\nL=AAA BBB // x\r\n[AAA]\nInfo=A\n[BBB]\nInfo=B\r\r\n",
       {"1 AAA <null>|A|<null>|<null>", "2 BBB <null>|B|<null>|<null>"}},
  };
  for (const Case &c : cases) {
    List list = parse(c.text);
    ASSERT_NE(nullptr, list) << c.what;
    EXPECT_EQ(c.entries, entries(list.get())) << c.what;
  }
  // A list line ended by a CR alone has no end: the file does not parse.
  EXPECT_EQ(nullptr, parse("[T]\rL=AAA\r[AAA]\rInfo=A\r"));

  // Every mix of five line ends over a file's lines reads as the same file with each CR that ends
  // a line taken away, one at a time from the start, as a plain search-and-remove would.
  const char *const ends[] = {"\n", "\r\n", "\r\r\n", "\r", "\n\r"};
  const char *const lines[] = {"[T]", "L=AAA BBB", "[AAA]", "Info=A", "Name=a.dll", "[BBB]", "Info=B"};
  // Every combination over the first four lines; the last three take their ends in turn.
  for (int mix = 0; mix < 5 * 5 * 5 * 5; ++mix) {
    std::string text;
    for (size_t i = 0, digits = size_t(mix); i < std::size(lines); ++i, digits /= 5) {
      text += lines[i];
      text += ends[i < 4 ? digits % 5 : (size_t(mix) + i) % 5];
    }
    std::string reference = text;
    for (size_t at; (at = reference.find("\r\n")) != std::string::npos;) reference.erase(at, 1);
    List got = parse(text), want = parse(reference);
    ASSERT_EQ(want == nullptr, got == nullptr) << mix;
    if (want != nullptr) {
      EXPECT_EQ(entries(want.get()), entries(got.get())) << mix;
    }
  }

  // A large file: 200,000 lines of another vendor's section before the listed one.
  std::string big = "[T]\r\nL=AAA\r\n[OTHER]\r\n";
  for (int i = 0; i < 200000; ++i) big += i % 3 == 0 ? "Key=value\n" : "Key=value\r\n";
  big += "[AAA]\r\nInfo=A\r\r\nName=a.dll\r\n";
  List list = parse(big);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ((std::vector<std::string>{"1 AAA a.dll|A|<null>|<null>"}), entries(list.get()));
}

TEST(P11Conf, LoadsFromAFileAndNotFromAMissingOne) {
  tokentest::TempDir dir("p11conf");
  const std::string path = dir.file("npki_pkcs11.cnf");
  tokentest::write_file(path, "[x]\nL=AAA\n[AAA]\nInfo=A\n");
  P11_TOKEN_LIST *list = nullptr;
  ASSERT_EQ(0, p11_conf_load_from(path.c_str(), nullptr, &list));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(1, list->first->index);
  p11_conf_free(list);
  list = reinterpret_cast<P11_TOKEN_LIST *>(&dir);
  EXPECT_EQ(0, p11_conf_load_from(dir.file("missing.cnf").c_str(), nullptr, &list));
  EXPECT_EQ(nullptr, list);
#ifdef _WIN32
  // The vendors' file in the system folder itself.
  char system[MAX_PATH] = {};
  UINT n = ::GetSystemDirectoryA(system, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  const std::string in_system = std::string(system) + "\\npki_pkcs11.cnf";
  ASSERT_FALSE(std::filesystem::exists(in_system)) << "a real configuration is in the way";
  tokentest::write_file(in_system, "[x]\r\nL=SDisk AAA\r\n[SDisk]\r\nInfo=s\r\n[AAA]\r\nInfo=A\r\n");
  EXPECT_EQ(0, p11_conf_load("SDisk", &list));
  std::filesystem::remove(in_system);
  ASSERT_NE(nullptr, list);
  EXPECT_EQ((std::vector<std::string>{"1 AAA <null>|A|<null>|<null>"}), entries(list));
  p11_conf_free(list);
  EXPECT_EQ(0, p11_conf_load("SDisk", &list));
  EXPECT_EQ(nullptr, list) << "no file";
#else
  EXPECT_EQ(-1, p11_conf_load(nullptr, &list)) << "no system folder natively";
  EXPECT_EQ(nullptr, list);
#endif
  p11_conf_free(nullptr);
}

// ---- Approval ----------------------------------------------------------------------------------

class Approval : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *name : {"vendorp11.dll", "vendorhelper.exe"})
      std::filesystem::copy_file(v7test::fixtures_path(std::string("pki/approval/") + name), dir_.file(name));
  }
  // Checks an entry over the copies: Name the library, Programs the helper (and extras).
  int check(const std::string &approval, const std::string &extra_programs = "", bool with_programs = true) {
    std::string name = dir_.file("vendorp11.dll");
    std::string programs = dir_.file("vendorhelper.exe") + extra_programs;
    std::string signature = approval.empty() ? "" : v7test::fixtures_path("pki/approval/" + approval);
    P11_TOKEN_ENTRY entry{};
    entry.index = 1;
    entry.name = &name[0];
    entry.programs = with_programs ? &programs[0] : nullptr;
    entry.signature_token = approval.empty() ? nullptr : &signature[0];
    return p11_module_verify_approval(&entry);
  }
  tokentest::TempDir dir_{"approval"};
};

TEST_F(Approval, SignedByARootHolds) {
  for (const char *file : {"approval_sha256.der", "approval_sha1.der", "approval_ordinary_root.der",
                           "approval_prefix.der"})
    EXPECT_EQ(0, check(file)) << file;
}

TEST_F(Approval, OtherSignersAndBadSignaturesFail) {
  for (const char *file : {"approval_ca_signer.der", "approval_wrong_key.der", "approval_badsig.der",
                           "approval_missing_file.der", "no_such_file.der"})
    EXPECT_EQ(-1, check(file)) << file;
  EXPECT_EQ(-1, check("")) << "no SignatureToken";
  EXPECT_EQ(-1, check("approval_sha256.der", "", false)) << "no Programs";
  EXPECT_EQ(-1, p11_module_verify_approval(nullptr));
}

TEST_F(Approval, OneChangedByteFailsAnUnlistedFileDoesNot) {
  tokentest::write_file(dir_.file("unlisted.dll"), "anything");
  EXPECT_EQ(0, check("approval_sha256.der", "," + dir_.file("unlisted.dll")));
  std::vector<uint8_t> helper = tokentest::read_file(dir_.file("vendorhelper.exe"));
  helper[7] ^= 0x01;
  tokentest::write_file(dir_.file("vendorhelper.exe"), std::string(helper.begin(), helper.end()));
  EXPECT_EQ(-1, check("approval_sha256.der"));
  EXPECT_EQ(-1, check("approval_prefix.der"));
}

TEST_F(Approval, TruncatedApprovalFilesFail) {
  std::vector<uint8_t> good = tokentest::read_file(v7test::fixtures_path("pki/approval/approval_sha256.der"));
  ASSERT_FALSE(good.empty());
  const std::string cut = dir_.file("cut.der");
  for (size_t n = 0; n < good.size(); n += 7) {
    tokentest::write_file(cut, std::string(good.begin(), good.begin() + long(n)));
    std::string name = dir_.file("vendorp11.dll"), programs = dir_.file("vendorhelper.exe"), sig = cut;
    P11_TOKEN_ENTRY entry{1, nullptr, &name[0], nullptr, &programs[0], &sig[0], nullptr};
    ASSERT_EQ(-1, p11_module_verify_approval(&entry)) << n;
  }
}

}  // namespace
