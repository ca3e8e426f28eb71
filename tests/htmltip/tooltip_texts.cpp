#include "tooltip_texts.h"

#include <cstring>

#include "html_test_text.h"
#include "wizard/res/string_ids.h"
#include "wizard/res/string_table.h"

namespace v7test {
namespace {

std::u16string Pair(unsigned id, bool korean) {
  const char *utf8 = v7::wizard::res::FindPairText(id, korean);
  if (utf8 == nullptr) return std::u16string();
  return DecodeHtmlVectorText(Bytes(utf8, utf8 + std::strlen(utf8)));
}

}  // namespace

std::vector<SelectionDialogTip> SelectionDialogTips() {
  using v7::htmltip::HtmlGeneration;
  std::vector<SelectionDialogTip> tips;
  for (bool korean : {true, false}) {
    const std::string language = korean ? "-ko" : "-en";
    tips.push_back({"expiry" + language, HtmlGeneration::kFirst, false, true,
                    Pair(IDS_EXPIRY_TIP_HEAD, korean) + u"2026-12-31" + Pair(IDS_EXPIRY_TIP_TAIL, korean)});
    tips.push_back({"hdd" + language, HtmlGeneration::kFirst, false, false, Pair(IDS_HDD_WARNING_TIP, korean)});
    tips.push_back({"phone-sign" + language, HtmlGeneration::kFirst, true, false, Pair(IDS_PHONE_SIGN_TIP, korean)});
    tips.push_back({"phone-usbkey" + language, HtmlGeneration::kFirst, true, false, Pair(IDS_USBKEY_TIP, korean)});
  }
  tips.push_back({"capslock", HtmlGeneration::kSecond, false, false,
                  u"<font color=#FF0000 ><b>&lt;Caps Lock&gt;</b></font>\uC774 \uCF1C\uC838 \uC788\uC2B5\uB2C8\uB2E4."});
  return tips;
}

}  // namespace v7test
