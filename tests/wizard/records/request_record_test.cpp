#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "relay/mode_word.h"
#include "wizard/records/request_record.h"

namespace {

// The record as the control lays it out, field by field from its documented widths: offset,
// width, and whether it is a 32-bit word (else a text filled to one byte short of its width).
struct FieldImage {
  size_t offset, width;
  bool word;
};
const FieldImage kLayout[] = {
    {0, 4, true},        {4, 4, true},         {8, 512, false},      {520, 512, false},   {1032, 4096, false},
    {5128, 1024, false}, {6152, 4, true},      {6156, 4, true},      {6164, 1024, false}, {7188, 4, true},
    {7192, 4, true},     {7196, 64, false},    {7260, 4, true},      {7264, 512, false},  {7776, 512, false},
    {8288, 64, false},   {8352, 512, false},   {8864, 512, false},   {9376, 128, false},  {9504, 64, false},
    {9568, 512, false},  {10128, 4096, false}, {14224, 4428, false},
};

uint32_t word_of(size_t i) { return 0x80000000u | uint32_t(i) << 16 | 0x5A00u | uint32_t(i); }
char letter_of(size_t i) { return char('A' + i); }

void fill_text(char *field, size_t width, size_t i) {
  memset(field, letter_of(i), width - 1);
  field[width - 1] = 0;
}

TEST(RequestRecord, FilledRecordMatchesTheControlsByteImage) {
  // Every field gets its own content, so a field at the wrong offset, of the wrong width or in
  // the wrong order changes the image.
  RelayRequestRecord r;
  memset(&r, 0, sizeof r);
  uint32_t *words[] = {&r.version,    &r.dialog_flags,  &r.viewer_skips_validation, &r.restore_last_medium,
                       &r.media_bits, &r.forced_medium, &r.phone_gets_policies};
  struct Text {
    char *p;
    size_t width;
  } texts[] = {{r.title, sizeof r.title},
               {r.settings_subkey, sizeof r.settings_subkey},
               {r.accepted_policies, sizeof r.accepted_policies},
               {r.sort_policies, sizeof r.sort_policies},
               {r.banner, sizeof r.banner},
               {r.phone_min_version, sizeof r.phone_min_version},
               {r.phone_text, sizeof r.phone_text},
               {r.phone_install_url, sizeof r.phone_install_url},
               {r.usbkey_min_version, sizeof r.usbkey_min_version},
               {r.usbkey_transfer_text, sizeof r.usbkey_transfer_text},
               {r.usbkey_install_url, sizeof r.usbkey_install_url},
               {r.usbkey_text2, sizeof r.usbkey_text2},
               {r.secure_disk.min_version, sizeof r.secure_disk.min_version},
               {r.secure_disk.install_url, sizeof r.secure_disk.install_url},
               {r.viewer_policy, sizeof r.viewer_policy},
               {r.dialog_policies, sizeof r.dialog_policies}};
  size_t next_word = 0, next_text = 0;
  std::vector<uint8_t> expected(18652, 0);
  for (size_t i = 0; i < sizeof kLayout / sizeof kLayout[0]; i++) {
    const FieldImage &f = kLayout[i];
    if (f.word) {
      uint32_t v = word_of(i);
      *words[next_word++] = v;
      for (int b = 0; b < 4; b++) expected[f.offset + b] = uint8_t(v >> (8 * b));  // little-endian
    } else {
      ASSERT_EQ(texts[next_text].width, f.width) << "field " << i;
      fill_text(texts[next_text++].p, f.width, i);
      memset(&expected[f.offset], letter_of(i), f.width - 1);
    }
  }
  ASSERT_EQ(next_word, sizeof words / sizeof words[0]);
  ASSERT_EQ(next_text, sizeof texts / sizeof texts[0]);
  ASSERT_EQ(sizeof r, expected.size());
  EXPECT_EQ(0, memcmp(&r, expected.data(), expected.size()));
}

TEST(RequestRecord, FieldWithoutTerminatorReadsAsEmpty) {
  RelayRequestRecord r;
  memset(&r, 0, sizeof r);
  strcpy(r.settings_subkey, "Relay");
  EXPECT_STREQ(request_text(r.settings_subkey), "Relay");
  // A subkey that fills its field runs straight into the policy list behind it.
  memset(r.settings_subkey, 'x', sizeof r.settings_subkey);
  strcpy(r.accepted_policies, "1.2.410.200005.1.1.1");
  EXPECT_STREQ(request_text(r.settings_subkey), "");
  r.settings_subkey[sizeof r.settings_subkey - 1] = 0;
  EXPECT_EQ(strlen(request_text(r.settings_subkey)), sizeof r.settings_subkey - 1);
  EXPECT_STREQ(request_field_text(nullptr, 4), "");
}

TEST(ModeWord, ExportTypes) {
  struct Case {
    bool send;
    int type;
    RelayModeWord word;
    bool recipient, an2;
    uint32_t version;
  } const cases[] = {
      {true, 1, 0x80000001u, false, false, 1}, {true, 2, 0x84000002u, false, true, 2},
      {true, 3, 0x80000002u, false, false, 2}, {true, 4, 0x84000003u, false, true, 3},
      {true, 5, 0x80000003u, false, false, 3}, {false, 1, 0x88000001u, true, false, 1},
      {false, 2, 0x88000002u, true, false, 2}, {false, 3, 0x88000003u, true, false, 3},
  };
  for (const Case &c : cases) {
    RelayModeWord w = c.send ? relay_mode_for_send(c.type) : relay_mode_for_recv(c.type);
    EXPECT_EQ(w, c.word) << c.send << " " << c.type;
    EXPECT_EQ(relay_mode_is_recipient(w), c.recipient);
    EXPECT_EQ(relay_mode_uses_an2(w), c.an2);
    EXPECT_EQ(relay_mode_protocol_version(w), c.version);
  }
  for (int type : {0, 6, -1, 1 << 30}) EXPECT_EQ(relay_mode_for_send(type), 0u) << type;
  for (int type : {0, 4, -1}) EXPECT_EQ(relay_mode_for_recv(type), 0u) << type;
  // Without the marker bit, or with a kind the session has no version for, no protocol is chosen.
  EXPECT_EQ(relay_mode_protocol_version(0x00000001u), 0u);
  EXPECT_EQ(relay_mode_protocol_version(0x80000004u), 0u);
  EXPECT_EQ(relay_mode_protocol_version(0x80000000u), 0u);
}

}  // namespace
