#include "pki/text/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RelPath, Table) {
  struct {
    const char16_t *path;
    int want;
  } cases[] = {
      {u"NPKI/yessign/USER/", 1},
      {u"\\NPKI\\CA\\signCert.der", 1},
      {u"a/b/c", 1},
      {u"a/../b", 0},
      {u"a//b", 0},
      {u"a|b", 0},
      {u"", 0},
      {u"/", 0},
      {u"a/./b", 0},
      {u"..", 0},
      {u"a/...", 0},
      {u"a<b", 0},
      {u"a>b", 0},
      {u"a\"b", 0},
      {u"a*", 0},
      {u".hidden/x", 1},
      {u"//a", 0},
      {u"a\x01b/c", 0},
      {u"a/b\n", 0},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
    EXPECT_EQ(is_valid_rel_path(cases[i].path), cases[i].want) << "case " << i;
  }
  EXPECT_EQ(is_valid_rel_path(nullptr), 0);
}

TEST(SafeSegment, RefusesWhatCouldLeaveItsFolder) {
  struct {
    const char16_t *name;
    int want;
  } cases[] = {
      {u"\uD64D\uAE38\uB3D9()0001234567", 1},
      {u"cn=Hong,ou=x", 1},
      {u"..", 0},
      {u".", 0},
      {u"a/b", 0},
      {u"a\\b", 0},
      {u"C:", 0},
      {u"a\x07", 0},
      {u"x.", 0},
      {u"x ", 0},
      {u"", 0},
      {u"a?", 0},
      {u"a*", 0},
      {u"a|b", 0},
      {u".a", 1},
      // Device names open the device in any folder, with or without an extension.
      {u"CON", 0},
      {u"prn", 0},
      {u"Aux", 0},
      {u"nul.txt", 0},
      {u"NUL.", 0},
      {u"Com1.crl", 0},
      {u"com9", 0},
      {u"COM0", 0},
      {u"LPT9.a.b", 0},
      {u"lpt1", 0},
      {u"com\u00B9", 0},
      {u"con .der", 0},
      {u"aux..x", 0},
      {u"console", 1},
      {u"com10", 1},
      {u"auxiliary", 1},
      {u"con_", 1},
      {u"lpt", 1},
      {u"comA", 1},
      {u"nul_.txt", 1},
      {u"x.con", 1},
      {u"a.nul", 1},
      {u"co", 1},
      {u"lpt10.der", 1},
      {u"a ", 0},
      {u"a.der.", 0},
  };
  for (auto &c : cases) {
    EXPECT_EQ(is_safe_file_segment(c.name), c.want) << "case " << (&c - cases);
  }
  EXPECT_EQ(is_safe_file_segment(std::u16string(255, u'a').c_str()), 1);
  EXPECT_EQ(is_safe_file_segment(std::u16string(256, u'a').c_str()), 0);
  EXPECT_EQ(is_safe_file_segment(nullptr), 0);
}

TEST(Extension, LastSegmentOnly) {
  EXPECT_EQ(std::u16string(path_extension_w(u"a.b/signPri.key")), u"key");
  EXPECT_EQ(path_extension_w(u"a.b/noext"), nullptr);
  EXPECT_EQ(path_extension_w(u".der"), nullptr);  // the first character is never the dot
  EXPECT_EQ(std::u16string(path_extension_w(u"x.")), u"");
  EXPECT_EQ(path_extension_w(u""), nullptr);
}

TEST(CertFileName, Table) {
  EXPECT_EQ(is_cert_file_name(u"NPKI/CA/USER/holder/signCert.DER"), 1);
  EXPECT_EQ(is_cert_file_name(u"x.P12"), 1);
  EXPECT_EQ(is_cert_file_name(u"x.pfx"), 1);
  EXPECT_EQ(is_cert_file_name(u"ca.crl"), 1);
  EXPECT_EQ(is_cert_file_name(u"list.stl"), 1);
  EXPECT_EQ(is_cert_file_name(u"notes.txt"), 0);
  EXPECT_EQ(is_cert_file_name(u"signCert"), 0);
  EXPECT_EQ(is_cert_file_name(u"x.derx"), 0);
  EXPECT_EQ(is_cert_file_name(u"x.de"), 0);
  EXPECT_EQ(is_cert_file_name(u"../x.der"), 0);
}

TEST(Slashes, BecomeBackslashes) {
  char16_t p[] = u"C:/a/b\\c/";
  path_slashes_to_backslashes(p);
  EXPECT_EQ(std::u16string(p), u"C:\\a\\b\\c\\");
  path_slashes_to_backslashes(nullptr);
}

}  // namespace
