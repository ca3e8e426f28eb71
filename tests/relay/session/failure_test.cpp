#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "platform/errors/errno_util.h"
#include "platform/locale/process_words.h"
#include "tests/relay/session/session_test_util.h"

using namespace relaytest;

namespace {

::testing::Environment *const g_folders = ::testing::AddGlobalTestEnvironment(new FolderEnvironment);

struct AlertCase {
  int code;
  int step;
  uint16_t alert;
};

TEST(RelayAlerts, InternalCodeAndStepGiveTheAlert) {
  const AlertCase cases[] = {
      {279, 3, 45}, {279, 9, 45}, {281, 8, 45},        {281, 10, 45}, {281, 5, 14},  {281, 11, 14},
      {512, 9, 42}, {512, 3, 12}, {513, 10, 42},       {513, 7, 12},  {515, 10, 46}, {516, 3, 46},
      {11, 3, 11},  {12, 3, 12},  {14, 5, 14},         {15, 3, 15},   {41, 8, 41},   {43, 8, 43},
      {44, 9, 44},  {45, 2, 45},  {46, 10, 46},        {16, 5, 31},   {256, 3, 31},  {294, 10, 31},
      {1, 6, 31},   {13, 3, 31},  {0x7fffffff, 1, 31},
  };
  for (const AlertCase &c : cases)
    EXPECT_EQ(relay_alert_for(c.code, c.step), c.alert) << c.code << "@" << c.step;
}

TEST(RelayAlerts, BookkeepingKeepsTwoCodesAndPendsTheAlert) {
  SessionPtr s(relay_session_new(kRecipient20));
  EXPECT_EQ(relay_record_error(s.get(), 281, 5), -2);
  EXPECT_EQ(relay_record_error(s.get(), 512, 8), -2);
  EXPECT_EQ(s->last_error, 512);
  EXPECT_EQ(s->prev_error, 281);
  EXPECT_EQ(s->step, 8);
  Buffer alert;
  alert.n = relay_alert_record(s.get(), &alert.p);
  EXPECT_EQ(v7test::to_hex(alert.bytes()), "0102000002002a");  // class 42, own version
}

struct ReceivedCase {
  int code;
  const char *english;
  const char *korean;  // UTF-8, as the texts read while CharEncodingMode is 1
};

// A received alert is kept, never answered: the step fails with 514 over the peer's code, and the
// failure text shows the peer's reason in either language.
TEST(RelayAlerts, ReceivedAlertsAreStoredNotAnswered) {
  const ReceivedCase cases[] = {
      {1, "Authorization code is not correct.", "인증번호가 맞지 않습니다.\r\n"},
      {2, "Authorization code is expired.", "인증번호가 만료되었습니다.\r\n"},
      {517, "Certificate storage location is not correct.", "인증서 저장위치가 올바르지 않습니다.\r\n"},
      {518, "Failed to store sign-purpose certificate.", "서명용 인증서 저장에 실패하였습니다.\r\n"},
      {519, "Failed to store encryption-purpose certificate.", "암호화용 인증서 저장에 실패하였습니다.\r\n"},
  };
  for (const ReceivedCase &c : cases) {
    SCOPED_TRACE(c.code);
    SessionPtr s(relay_session_new(kRecipient20));
    Bytes rec = record(1, 0x0200, {uint8_t(c.code >> 8), uint8_t(c.code)});
    EXPECT_EQ(relay_check_alert(s.get(), rec.data(), rec.size(), 10), -1);
    EXPECT_EQ(s->last_error, 514);
    EXPECT_EQ(s->prev_error, c.code);
    EXPECT_EQ(s->step, 10);
    EXPECT_EQ(s->alert_code, 0);
    Buffer out;
    EXPECT_EQ(relay_alert_record(s.get(), &out.p), 0u);
    EXPECT_EQ(out.p, nullptr);
    EXPECT_EQ(std::string(relay_failure_text(s.get(), kLanguageEnglish)),
              std::string("Step4) Failed to transfer the certificate.[0x0202]\r\n\r\n\r\n") + c.english);
    set_char_encoding_mode(kCharEncodingUtf8);
    EXPECT_EQ(std::string(relay_failure_text(s.get(), kLanguageKorean)),
              std::string("Step4) 인증서 이동에 실패하였습니다.[0x0202]\r\n\r\n\r\n") + c.korean);
    set_char_encoding_mode(0);
  }
  SessionPtr s(relay_session_new(kSender20));
  const Bytes close = {1, 2, 0, 0, 2, 0, 0}, short_alert = {1, 2, 0, 0, 2, 0},
              long_field = {1, 2, 0, 0, 3, 0, 1, 0}, hello = {2, 2, 0, 0, 2, 0, 1};
  EXPECT_EQ(relay_check_alert(s.get(), close.data(), close.size(), 1), 1);
  EXPECT_EQ(relay_check_alert(s.get(), short_alert.data(), short_alert.size(), 1), 0);
  EXPECT_EQ(relay_check_alert(s.get(), long_field.data(), long_field.size(), 1), 0);
  EXPECT_EQ(relay_check_alert(s.get(), hello.data(), hello.size(), 1), 0);
  EXPECT_EQ(s->last_error, 0);
}

// ---- The failure table: what a hostile or broken record costs the session ---------------------

class RelayFailures : public ::testing::Test {
 public:
  void SetUp() override {
    recipient = make_session(kRecipient20);
    sender = make_session(kSender20);
    ASSERT_TRUE(recipient && sender && recipient->server_key && recipient->target_key && sender->open_key);
    uint8_t body[kSessionKeyBodyLen];
    ASSERT_EQ(relay_session_key_make(recipient.get(), 4, body, sizeof body), kSessionKeyBodyLen);
    ASSERT_EQ(relay_session_key_make(recipient.get(), 9, body, sizeof body), kSessionKeyBodyLen);
    Bytes target = record(8, 0x0200, cat({lv({'c'}), lv({}), lv({})}));
    ASSERT_EQ(relay_transcript_digest(recipient.get(), target.data(), target.size(), 8), 0);
    ASSERT_EQ(relay_mac_key_make(recipient.get(), 9), 0);
  }

  Bytes seal(int type, const Bytes &in) {
    Buffer b;
    b.n = relay_envelope_seal(recipient.get(), type, in.data(), in.size(), &b.p, type);
    EXPECT_NE(b.n, 0u);
    return b.bytes();
  }

  // An Items plaintext with a correct MAC: [L][items] 00 20 [MAC].
  Bytes items_plain(const Bytes &items) {
    Bytes block = lv(items);
    uint8_t mac[kRelayMacLen];
    EXPECT_EQ(relay_items_mac(recipient.get(), block.data(), block.size(), mac, 10), 0);
    return cat({block, lv(Bytes(mac, mac + sizeof mac))});
  }

  SessionPtr recipient, sender;
};

struct RecordCase {
  const char *name;
  std::function<Bytes(RelayFailures *)> make;
  int type;  // 11 envelope (step 5), 10 Items (step 10), 9 RecipientKeys (sender, step 9)
  int code;
  uint16_t alert;
};

// A 20-byte inner record enciphers to two blocks; the last plaintext byte then follows the last
// byte of the first ciphertext block, so the padding can be broken on purpose.
const Bytes kInner = {5, 2, 0, 0, 15, 0, 13, '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3'};

Bytes with(Bytes r, size_t at, uint8_t value) {
  r.at(at) = value;
  return r;
}

Bytes broken_padding(const Bytes &rec) {
  Bytes r = rec;
  r.at(r.size() - 17) ^= 0x20;  // the pad byte (1 to 16) becomes 33 to 48, which no padding has
  return r;
}

Bytes ragged(const Bytes &rec) {
  Bytes r(rec.begin(), rec.end() - 1);
  r[4] = uint8_t(r.size() - 5);
  return r;
}

const RecordCase kRecordCases[] = {
    {"envelope wrong type", [](RelayFailures *f) { return with(f->seal(11, kInner), 0, 10); }, 11, 513, 12},
    {"envelope wrong version", [](RelayFailures *f) { return with(f->seal(11, kInner), 2, 1); }, 11, 16, 31},
    {"envelope bad padding", [](RelayFailures *f) { return broken_padding(f->seal(11, kInner)); }, 11, 281,
     14},
    {"envelope ragged ciphertext", [](RelayFailures *f) { return ragged(f->seal(11, kInner)); }, 11, 281, 14},
    {"envelope empty body",
     [](RelayFailures *) {
       return Bytes{11, 2, 0, 0, 0};
     },
     11, 281, 14},
    {"envelope truncated header",
     [](RelayFailures *) {
       return Bytes{11, 2, 0, 0};
     },
     11, 512, 12},
    {"envelope length past the end",
     [](RelayFailures *f) {
       Bytes r = f->seal(11, kInner);
       return with(r, 4, uint8_t(r[4] + 1));
     },
     11, 512, 12},
    {"envelope oversize length",
     [](RelayFailures *f) { return with(with(f->seal(11, kInner), 3, 0xff), 4, 0xff); }, 11, 512, 12},
    {"items wrong type", [](RelayFailures *f) { return f->seal(11, kInner); }, 10, 513, 42},
    {"items bad padding",
     [](RelayFailures *f) { return broken_padding(f->seal(10, f->items_plain(Bytes(13, 7)))); }, 10, 281, 45},
    {"items truncated",
     [](RelayFailures *) {
       return Bytes{10, 2, 0};
     },
     10, 512, 42},
    {"items block length past the plaintext",
     [](RelayFailures *f) {
       return f->seal(10, cat({{0x01, 0x00}, Bytes(20, 1)}));
     },
     10, 512, 42},
    {"items without MAC length",
     [](RelayFailures *f) {
       return f->seal(10, cat({lv({1, 2, 3}), {0}}));
     },
     10, 512, 42},
    {"items empty MAC",
     [](RelayFailures *f) {
       return f->seal(10, cat({lv({1, 2, 3}), lv({})}));
     },
     10, 295, 31},
    {"items MAC of 31 bytes",
     [](RelayFailures *f) {
       Bytes p = f->items_plain({1, 2, 3});
       p[6] = 31;
       p.pop_back();
       return f->seal(10, p);
     },
     10, 294, 31},
    {"items MAC length past the plaintext",
     [](RelayFailures *f) {
       Bytes p = f->items_plain({1, 2, 3});
       p.resize(p.size() - 20);
       return f->seal(10, p);
     },
     10, 512, 42},
    {"items MAC last byte differs",
     [](RelayFailures *f) {
       Bytes p = f->items_plain({1, 2, 3});
       p.back() ^= 1;
       return f->seal(10, p);
     },
     10, 294, 31},
    {"items MAC of another block",
     [](RelayFailures *f) {
       Bytes p = f->items_plain({1, 2, 3});
       p[4] ^= 1;
       return f->seal(10, p);
     },
     10, 294, 31},
    {"recipient keys wrong type", [](RelayFailures *) { return record(8, 0x0200, Bytes(256, 1)); }, 9, 16,
     31},
    {"recipient keys wrong version", [](RelayFailures *) { return record(9, 0x0100, Bytes(256, 1)); }, 9, 16,
     31},
    {"recipient keys truncated",
     [](RelayFailures *) {
       return Bytes{9, 2, 0, 1};
     },
     9, 512, 42},
    {"recipient keys length past the end",
     [](RelayFailures *) { return with(record(9, 0x0200, Bytes(256, 1)), 3, 2); }, 9, 512, 42},
    {"recipient keys not for this key", [](RelayFailures *) { return record(9, 0x0200, Bytes(256, 1)); }, 9,
     279, 45},
    {"recipient keys short ciphertext", [](RelayFailures *) { return record(9, 0x0200, Bytes(17, 1)); }, 9,
     279, 45},
};

TEST_F(RelayFailures, EachBrokenRecordGivesItsCodeAndAlert) {
  for (const RecordCase &c : kRecordCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Bytes rec = c.make(this);
    RelaySession *s = c.type == 9 ? sender.get() : recipient.get();
    Buffer out;
    int result = c.type == 11   ? relay_envelope_open(s, 11, rec.data(), rec.size(), &out.p, &out.n, 5)
                 : c.type == 10 ? relay_items_open(s, rec.data(), rec.size(), &out.p, &out.n)
                                : relay_rsa_open(s, rec.data(), rec.size(), &out.p, &out.n);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(errno, c.code);
    EXPECT_EQ(s->last_error, c.code);
    EXPECT_EQ(s->alert_code, c.alert);
    EXPECT_EQ(out.p, nullptr);
    EXPECT_EQ(out.n, 0u);
  }
}

TEST_F(RelayFailures, SoundRecordsOpen) {
  Buffer a, b;
  Bytes env = seal(11, kInner);
  ASSERT_EQ(relay_envelope_open(recipient.get(), 11, env.data(), env.size(), &a.p, &a.n, 5), 0);
  EXPECT_EQ(a.bytes(), kInner);
  Bytes items = seal(10, items_plain({0, 0, 1, 'x'}));
  ASSERT_EQ(relay_items_open(recipient.get(), items.data(), items.size(), &b.p, &b.n), 0);
  EXPECT_EQ(b.bytes(), (Bytes{0, 0, 1, 'x'}));
}

TEST_F(RelayFailures, BuildersRefuseWhatTheyCannotBuild) {
  uint8_t body[kSessionKeyBodyLen];
  EXPECT_EQ(relay_session_key_make(recipient.get(), 5, body, sizeof body), 0u);
  EXPECT_EQ(recipient->last_error, 12);
  EXPECT_EQ(relay_session_key_make(recipient.get(), 4, body, sizeof body - 1), 0u);
  EXPECT_EQ(recipient->last_error, 512);
  Buffer out;
  EXPECT_EQ(relay_rsa_seal(recipient.get(), 11, body, sizeof body, &out.p), 0u);
  EXPECT_EQ(recipient->last_error, 12);
  EXPECT_EQ(relay_rsa_seal(sender.get(), 9, body, sizeof body, &out.p), 0u);  // a sender has no target
  EXPECT_EQ(sender->last_error, 257);
  // An RSA message longer than OAEP allows for a 2048-bit key.
  Bytes big(256, 1);
  EXPECT_EQ(relay_rsa_seal(recipient.get(), 4, big.data(), big.size(), &out.p), 0u);
  EXPECT_EQ(recipient->last_error, 278);
  EXPECT_EQ(recipient->alert_code, 31);
  EXPECT_EQ(relay_envelope_seal(sender.get(), 11, kInner.data(), kInner.size(), &out.p, 6),
            0u);  // no key yet
  EXPECT_EQ(sender->last_error, 257);
  EXPECT_EQ(relay_mac_key_set(sender.get(), body, 31, 9), -1);
  EXPECT_EQ(sender->last_error, 512);
  Bytes too_many(0x10000, 1);
  EXPECT_EQ(relay_items_seal(recipient.get(), too_many.data(), too_many.size(), &out.p), 0u);
  EXPECT_EQ(out.p, nullptr);
}

// ---- Failure text ----------------------------------------------------------------------------

class RelayFailureText : public ::testing::Test {
 protected:
  void TearDown() override { set_char_encoding_mode(0); }
};

// The server refuses the typed authorization code: alert 1 in reply to SenderServerKey.
SessionPtr refused_sender() {
  SessionPtr s(relay_session_new(kSender20));
  Bytes rec = record(1, 0x0200, {0, 1});
  relay_check_alert(s.get(), rec.data(), rec.size(), 7);
  return s;
}

TEST_F(RelayFailureText, RefusedAuthorizationCodeInEnglish) {
  SessionPtr s = refused_sender();
  EXPECT_STREQ(
      relay_failure_text(s.get(), kLanguageEnglish),
      "Step2) Failed to transfer the certificate.[0x0202]\r\n\r\n\r\nAuthorization code is not correct.");
}

TEST_F(RelayFailureText, RefusedAuthorizationCodeInKorean) {
  SessionPtr s = refused_sender();
  const std::string headline =
      std::string(reinterpret_cast<const char *>(
                      v7test::from_hex("c0cec1f5bcad20c0ccb5bfbfa120bdc7c6d0c7cfbfb4bdc0b4cfb4d92e").data()),
                  29);
  const Bytes code = v7test::from_hex("c0cec1f5b9f8c8a3b0a120b8c2c1f620becabdc0b4cfb4d92e");
  EXPECT_EQ(std::string(relay_failure_text(s.get(), kLanguageKorean)),
            "Step2) " + headline + "[0x0202]\r\n\r\n\r\n" + std::string(code.begin(), code.end()));
  set_char_encoding_mode(kCharEncodingUtf8);
  EXPECT_STREQ(relay_failure_text(s.get(), kLanguageKorean),
               "Step2) 인증서 이동에 실패하였습니다.[0x0202]\r\n\r\n\r\n인증번호가 맞지 않습니다.\r\n");
}

struct TextCase {
  uint32_t mode;
  int prev, last, step;
  const char *text;
};

TEST_F(RelayFailureText, StepNamesCodesAndPreviousCodes) {
  const TextCase cases[] = {
      {kRecipient20, 0, 15, 3,
       "Step1) Failed to transfer the certificate.\r\n\r\nFailed to validate the certificate of the relay "
       "server."},
      {kRecipient20, 281, 512, 10, "Step4) Failed to transfer the certificate.[0x0200]\r\n\r\n[0x0119]"},
      {kSender20, 0, 294, 10, "Step3) Failed to transfer the certificate.[0x0126]\r\n\r\n"},
      {kSender20, 0, 16, 8,
       "Step2) Failed to transfer the certificate.\r\n\r\nFailed to match protocol version."},
      {kRecipient20, 0, 16, 8,
       "Step3) Failed to transfer the certificate.\r\n\r\nFailed to match protocol version."},
      {kRecipient20, 518, 44, 2,
       "Hello) Failed to transfer the certificate.\r\n\r\nAlien/Resident ID(or Business Registration) Number "
       "inputted for "
       "certificate transfer is not correct.\r\nFailed to store sign-purpose certificate."},
      {kRecipient20, 0, 519, 15,
       "Store) Failed to transfer the certificate.\r\n\r\nFailed to store encryption-purpose certificate."},
      {kSender20, 0, 31, 1, "Finish) Failed to transfer the certificate.[0x001f]\r\n\r\n"},
      {kSender20, 0, 256, 12, "StepN) Failed to transfer the certificate.[0x0100]\r\n\r\n"},
  };
  for (const TextCase &c : cases) {
    SessionPtr s(relay_session_new(c.mode));
    if (c.prev != 0) relay_record_error(s.get(), c.prev, c.step);
    relay_record_error(s.get(), c.last, c.step);
    EXPECT_STREQ(relay_failure_text(s.get(), kLanguageEnglish), c.text);
  }
}

TEST_F(RelayFailureText, ErrorContextFollowsOnItsOwnLine) {
  SessionPtr s(relay_session_new(kRecipient20));
  relay_record_error(s.get(), 279, 9);
  err_push(s->error, 1245, nullptr);
  std::string context = err_ctx_format(s->error, kErrFmtEnglish);
  ASSERT_FALSE(context.empty());
  std::string text = relay_failure_text(s.get(), kLanguageEnglish);
  EXPECT_EQ(text, "Step3) Failed to transfer the certificate.[0x0117]\r\n\r\n\r\n" + context);
  // A later call replaces the text and follows the language.
  std::string korean = relay_failure_text(s.get(), kLanguageKorean);
  EXPECT_NE(korean, text);
  EXPECT_EQ(korean.substr(0, 7), "Step3) ");
}

}  // namespace
