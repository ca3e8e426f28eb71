// What every test against the virtual card starts from: the card reachable through
// tools/vcard's control port, message boxes answered by the test's hook, English texts and no
// PIN remembered as refused.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/smartcard/smartcard.h"
#include "platform/locale/process_words.h"
#include "platform/ui/message_box.h"
#include "tests/media/smartcard/vcard_client.h"

namespace v7test {

class CardTestBase : public ::testing::Test {
 protected:
  explicit CardTestBase(int (*box)(const char16_t *, const char16_t *, unsigned)) : box_(box) {}
  void SetUp() override {
    ASSERT_TRUE(card_.ready()) << "no virtual card: V7_CARD_DIR must name the folder of a "
                                  "running tools/vcard (ctest's card_services fixture)";
    v7::set_message_box_hook_w(box_);
    set_language_id(kLanguageEnglish);
    sc_forget_refused_pin();
  }
  void TearDown() override { v7::set_message_box_hook_w(nullptr); }

  void load(const std::string &image) { ASSERT_EQ(card_.load(image), "ok"); }

  VcardClient card_;

 private:
  int (*box_)(const char16_t *, const char16_t *, unsigned);
};

// The lines that begin with the prefix (commands of one kind in an APDU log).
inline size_t count_prefix(const std::vector<std::string> &lines, const std::string &prefix) {
  size_t n = 0;
  for (const auto &line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

}  // namespace v7test
