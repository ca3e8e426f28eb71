#include "pki/errors/error_ctx.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/locale/process_words.h"

namespace {

// "인증서 암호가 맞지 않음" (the Korean text of 15050) in EUC-KR, from iconv -t CP949.
const char kWrongPasswordEuckr[] =
    "\xC0\xCE\xC1\xF5\xBC\xAD \xBE\xCF\xC8\xA3\xB0\xA1 \xB8\xC2\xC1\xF6 \xBE\xCA\xC0\xBD";
const char kWrongPasswordUtf8[] = "인증서 암호가 맞지 않음";

struct Entry {
  int code;
  const char *detail;
};

// Nodes oldest first: each node is pushed with its first entry, the rest are added to it.
using Nodes = std::vector<std::vector<Entry>>;

void fill(ERROR_CTX *ctx, const Nodes &nodes) {
  for (const auto &node : nodes) {
    ASSERT_EQ(err_push(ctx, node[0].code, node[0].detail), 0);
    for (size_t i = 1; i < node.size(); ++i) ASSERT_EQ(err_add_detail(ctx, node[i].code, node[i].detail), 0);
  }
}

class ErrorCtxTest : public ::testing::Test {
 protected:
  void TearDown() override {
    err_ctx_clear(&ctx_);
    set_char_encoding_mode(0);
  }
  ERROR_CTX ctx_ = {};
};

struct RenderCase {
  const char *name;
  Nodes nodes;
  uint16_t flags;
  int mode;
  std::string expected;
};

TEST_F(ErrorCtxTest, RendersExactly) {
  const RenderCase cases[] = {
      {"newest first with a detail that a code hides",
       {{{10350, "keyUsage"}}, {{1453, nullptr}}},
       0x200,
       0,
       "PKCS 5 - Decrypt Error [1453]  > Invalid Key Usage Extension [10350] "},
      {"oldest first",
       {{{10350, "keyUsage"}}, {{1453, nullptr}}},
       0x208,
       0,
       "Invalid Key Usage Extension [10350]  > PKCS 5 - Decrypt Error [1453] "},
      {"underlying code as a sub-entry",
       {{{1453, nullptr}, {1246, nullptr}}},
       0x200,
       0,
       "PKCS 5 - Decrypt Error [1453]  : Symmetric Decrypt Error [1246] "},
      {"same code twice in a node",
       {{{1003, nullptr}, {1003, nullptr}}},
       0x200,
       0,
       "File Open Error [1003] "},
      {"same code again with a detail writes the detail",
       {{{1003, nullptr}, {1003, "a.key"}}},
       0x200,
       0,
       "File Open Error [1003]  : a.key"},
      {"no code, only a detail", {{{-1, "only the detail"}}}, 0x200, 0, "only the detail"},
      {"code -1 without detail is skipped",
       {{{1003, nullptr}, {-1, nullptr}, {1004, nullptr}}},
       0x200,
       0,
       "File Open Error [1003]  : File Read Error [1004] "},
      {"code 0 without detail is an empty entry",
       {{{1003, nullptr}, {0, nullptr}}},
       0x200,
       0,
       "File Open Error [1003]  : "},
      {"a detail resets the last code",
       {{{1003, nullptr}, {-1, "x"}, {1003, nullptr}}},
       0x200,
       0,
       "File Open Error [1003]  : x : File Open Error [1003] "},
      {"the last code carries across nodes",
       {{{1003, nullptr}}, {{1003, nullptr}}},
       0x200,
       0,
       "File Open Error [1003]  > "},
      {"secure-disk code shows its own number",
       {{{0x20005, nullptr}}},
       0x200,
       0,
       "SDR_GENERAL_ERROR [0x0005] "},
      {"PKCS#11 code", {{{0x100001, nullptr}}}, 0x200, 0, "CKR_CANCEL [0x0001] "},
      {"band 0x1xxxx", {{{0x10005, nullptr}}}, 0x200, 0, " [0x0005] "},
      {"vendor-defined PKCS#11 code",
       {{{static_cast<int>(0x89100001u), nullptr}}},
       0x200,
       0,
       "CKR_BIO_NO_FINGER_AUTH_ID [0x89000001] "},
      {"unknown vendor code", {{{static_cast<int>(0x80100001u), nullptr}}}, 0x200, 0, " [0x80000001] "},
      {"code above the vendor band is decimal",
       {{{static_cast<int>(0x90000000u), nullptr}}},
       0x200,
       0,
       " [-1879048192] "},
      {"negative code", {{{-5, nullptr}}}, 0x200, 0, " [-5] "},
      {"XML band is decimal", {{{0xB0000, nullptr}}}, 0x200, 0, "XML Context - NULL Context [720896] "},
      {"unknown code", {{{999, nullptr}}}, 0x200, 0, " [999] "},
      {"Korean-only code between the XML codes",
       {{{720917, nullptr}}},
       0,
       1,
       "XML Context - 지원하지 않는 버전 [720917] "},
      {"Korean-only code in English", {{{10514, nullptr}}}, 0x200, 0, " [10514] "},
      {"empty context", {}, 0x200, 0, ""},
      {"empty context in Korean", {}, 0x1000, 0, ""},
      {"numeric only",
       {{{10350, "keyUsage"}}, {{1453, nullptr}, {1246, nullptr}}},
       0x210,
       0,
       "1453 : 1246 > 10350"},
      {"numeric only with a detail entry", {{{1453, nullptr}, {-1, "d"}}}, 0x210, 0, "1453 : "},
      {"short separators",
       {{{10350, nullptr}}, {{1453, nullptr}, {1246, nullptr}}},
       0x220,
       0,
       "PKCS 5 - Decrypt Error [1453] :Symmetric Decrypt Error [1246] >Invalid Key Usage Extension [10350] "},
      {"Korean in EUC-KR", {{{15050, nullptr}}}, 0, 0, std::string(kWrongPasswordEuckr) + " [15050] "},
      {"Korean in UTF-8 by the setting",
       {{{15050, nullptr}}},
       0,
       1,
       std::string(kWrongPasswordUtf8) + " [15050] "},
      {"Korean delivered as UTF-8",
       {{{15050, nullptr}}},
       0x1000,
       0,
       std::string(kWrongPasswordUtf8) + " [15050] "},
      {"UTF-8 delivery converts details too",
       {{{15050, nullptr}, {-1, kWrongPasswordEuckr}}},
       0x1000,
       0,
       std::string(kWrongPasswordUtf8) + " [15050]  : " + kWrongPasswordUtf8},
      {"UTF-8 delivery keeps a text that is not EUC-KR", {{{-1, "\xFF\xFF"}}}, 0x1000, 0, "\xFF\xFF"},
      {"secure-disk Korean text",
       {{{0x200A0, nullptr}}},
       0,
       1,
       "안전디스크에 저장된 인증서 암호가 맞지 않음 [0x00A0] "},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    set_char_encoding_mode(c.mode);
    ERROR_CTX ctx = {};
    fill(&ctx, c.nodes);
    const char *text = err_ctx_format(&ctx, c.flags);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.expected);
    EXPECT_EQ(ctx.text, text);
    err_ctx_clear(&ctx);
  }
}

TEST_F(ErrorCtxTest, RendersFileLineAndFunctionOnRequest) {
  ASSERT_EQ(err_push(&ctx_, 1000, nullptr), 0);
  EXPECT_STREQ(ctx_.newest->file, "");
  EXPECT_STREQ(ctx_.newest->function, "");
  EXPECT_EQ(ctx_.newest->line, 0);
  EXPECT_STREQ(err_ctx_format(&ctx_, 0x207), "Out of Memory [1000] ");  // nothing present

  ctx_.newest->file = "store.cpp";
  ctx_.newest->line = 42;
  ctx_.newest->function = "store_key";
  EXPECT_STREQ(err_ctx_format(&ctx_, 0x207),
               "Out of Memory [1000]  (  FILE : store.cpp  LINE : 42  FUNC : store_key  )  ");
  EXPECT_STREQ(err_ctx_format(&ctx_, 0x202), "Out of Memory [1000]  (  LINE : 42  )  ");
  EXPECT_STREQ(err_ctx_format(&ctx_, 0x200), "Out of Memory [1000] ");
  ctx_.newest->file = nullptr;  // a caller's null is taken as the empty text
  EXPECT_STREQ(err_ctx_format(&ctx_, 0x201), "Out of Memory [1000] ");
}

TEST_F(ErrorCtxTest, PushAndAddKeepOrderAndCopyDetails) {
  char detail[] = "first";
  ASSERT_EQ(err_push(&ctx_, 1003, detail), 0);
  EXPECT_EQ(ctx_.newest, ctx_.oldest);
  detail[0] = 'F';  // the context keeps its own copy
  ASSERT_EQ(err_add_detail(&ctx_, -1, "second"), 0);
  ASSERT_EQ(err_push(&ctx_, 1004, nullptr), 0);
  ASSERT_NE(ctx_.newest, ctx_.oldest);
  EXPECT_EQ(ctx_.newest->older, ctx_.oldest);
  EXPECT_EQ(ctx_.oldest->newer, ctx_.newest);
  EXPECT_EQ(ctx_.newest->newer, nullptr);
  EXPECT_EQ(ctx_.oldest->older, nullptr);
  const ERROR_SUBNODE *e = ctx_.oldest->first;
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->detail, "first");
  ASSERT_NE(e->next, nullptr);
  EXPECT_STREQ(e->next->detail, "second");
  EXPECT_EQ(e->next->next, nullptr);
  EXPECT_EQ(ctx_.newest->first->detail, nullptr);
}

TEST_F(ErrorCtxTest, FailuresGiveTheirCodesAndLeaveTheContextAsItWas) {
  errno = 0;
  EXPECT_EQ(err_push(nullptr, 1000, "x"), 1310);
  EXPECT_EQ(errno, 1310);
  EXPECT_EQ(err_add_detail(nullptr, 1000, "x"), 1310);
  EXPECT_EQ(errno, 1310);
  EXPECT_EQ(err_add_detail(&ctx_, 1000, "x"), 1312);
  EXPECT_EQ(errno, 1312);
  EXPECT_EQ(ctx_.newest, nullptr);
  EXPECT_EQ(ctx_.oldest, nullptr);
  errno = 0;
  EXPECT_EQ(err_ctx_format(nullptr, 0), nullptr);
  EXPECT_EQ(errno, 1310);
  errno = 0;
  EXPECT_EQ(err_ctx_text_w(nullptr, 0), nullptr);
  EXPECT_EQ(errno, 1310);
  err_ctx_clear(nullptr);
}

TEST_F(ErrorCtxTest, DetachedNodes) {
  ERROR_NODE *node = err_node_new(1453, "detail");
  ASSERT_NE(node, nullptr);
  EXPECT_STREQ(node->file, "");
  EXPECT_STREQ(node->function, "");
  EXPECT_EQ(node->line, 0);
  EXPECT_EQ(node->older, nullptr);
  EXPECT_EQ(node->newer, nullptr);
  ERROR_SUBNODE *entry = err_subnode_new(1246, nullptr);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->detail, nullptr);
  EXPECT_EQ(err_node_append(node, entry), 0);
  ASSERT_NE(node->first->next, nullptr);
  EXPECT_EQ(node->first->next->code, 1246);

  ERROR_SUBNODE *orphan = err_subnode_new(1, "kept by the caller");
  errno = 0;
  EXPECT_EQ(err_node_append(nullptr, orphan), 1312);
  EXPECT_EQ(errno, 1312);
  EXPECT_EQ(err_node_append(node, nullptr), 1313);
  EXPECT_EQ(errno, 1313);
  EXPECT_EQ(err_node_append(node, orphan), 0);  // still whole after the failed append
  EXPECT_STREQ(node->first->next->next->detail, "kept by the caller");
  err_node_free(node);  // the sanitizer reports anything left behind
  err_node_free(nullptr);
}

TEST_F(ErrorCtxTest, RenderingReplacesTheCachedTextAndClearEmptiesAll) {
  ASSERT_EQ(err_push(&ctx_, 1003, nullptr), 0);
  const char *first = err_ctx_format(&ctx_, 0x200);
  ASSERT_NE(first, nullptr);
  const std::string first_text = first;
  const char *second = err_ctx_format(&ctx_, 0x210);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(ctx_.text, second);  // the first pointer is no longer the context's
  EXPECT_STREQ(second, "1003");
  EXPECT_EQ(first_text, "File Open Error [1003] ");
  ASSERT_NE(err_ctx_text_w(&ctx_, 0x200), nullptr);
  err_ctx_clear(&ctx_);
  EXPECT_EQ(ctx_.newest, nullptr);
  EXPECT_EQ(ctx_.oldest, nullptr);
  EXPECT_EQ(ctx_.text, nullptr);
  EXPECT_EQ(ctx_.text_w, nullptr);
  // The context is usable again.
  ASSERT_EQ(err_push(&ctx_, 1004, nullptr), 0);
  EXPECT_STREQ(err_ctx_format(&ctx_, 0x200), "File Read Error [1004] ");
}

TEST_F(ErrorCtxTest, WideRenderingDecodesWhatTheRenderingProduced) {
  const std::u16string expected = u"인증서 암호가 맞지 않음 [15050] ";
  ASSERT_EQ(err_push(&ctx_, 15050, nullptr), 0);
  for (int mode : {0, 1}) {
    for (uint16_t flags : {uint16_t{0}, uint16_t{0x1000}, uint16_t{0x1008}}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " flags " << flags);
      set_char_encoding_mode(mode);
      const char16_t *wide = err_ctx_text_w(&ctx_, flags);
      ASSERT_NE(wide, nullptr);
      EXPECT_EQ(std::u16string(wide), expected);
      EXPECT_EQ(ctx_.text_w, wide);
      EXPECT_NE(ctx_.text, nullptr);
    }
  }
  set_char_encoding_mode(0);
  EXPECT_EQ(std::u16string(err_ctx_text_w(&ctx_, 0x200)), u"Wrong Password [15050] ");
}

TEST_F(ErrorCtxTest, WideRenderingOfAnUndecodableDetailFails) {
  set_char_encoding_mode(1);
  ASSERT_EQ(err_push(&ctx_, -1, "\xFF"), 0);
  errno = 0;
  EXPECT_EQ(err_ctx_text_w(&ctx_, 0), nullptr);
  EXPECT_EQ(errno, 33004);
  EXPECT_EQ(ctx_.text_w, nullptr);
}

TEST_F(ErrorCtxTest, CodeText) {
  struct {
    int code;
    uint16_t flags;
    int mode;
    std::string narrow;
  } cases[] = {
      {15050, 0x200, 0, "Wrong Password"},
      {15050, 0, 0, kWrongPasswordEuckr},
      {15050, 0, 1, kWrongPasswordUtf8},
      {15050, 0x1000, 0, kWrongPasswordUtf8},
      {15050, 0x1001, 0, kWrongPasswordUtf8},
      {10514, 0x200, 0, ""},
      {10514, 0x1000, 0, "인증서 확장키 사용 용도가 잘못됨"},
      {999, 0, 0, ""},
      {999, 0x200, 1, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.code << " flags " << c.flags << " mode " << c.mode);
    set_char_encoding_mode(c.mode);
    char *text = err_code_text(c.code, c.flags);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.narrow);
    std::free(text);
  }
}

TEST_F(ErrorCtxTest, CodeTextWideIsTheSameWordsWhateverTheFlags) {
  for (int mode : {0, 1}) {
    for (uint16_t flags : {uint16_t{0}, uint16_t{0x1000}, uint16_t{0x1001}, uint16_t{0x20}}) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " flags " << flags);
      set_char_encoding_mode(mode);
      char16_t *wide = err_code_text_w(15050, flags);
      ASSERT_NE(wide, nullptr);
      EXPECT_EQ(std::u16string(wide), u"인증서 암호가 맞지 않음");
      std::free(wide);
      wide = err_code_text_w(15050, flags | 0x200);
      ASSERT_NE(wide, nullptr);
      EXPECT_EQ(std::u16string(wide), u"Wrong Password");
      std::free(wide);
    }
  }
  char16_t *empty = err_code_text_w(999, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], u'\0');
  std::free(empty);
}

}  // namespace
