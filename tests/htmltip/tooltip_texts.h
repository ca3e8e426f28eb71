// The tooltips the certificate selection dialog shows, as its resources and code give their HTML:
// the expiry warning (with a date), the hard-disk warning and the two phone-menu tips in Korean and
// English (first generation), and the Caps Lock warning (second generation, one text for both
// languages). Shared by the golden images and the benchmark.
#pragma once

#include <string>
#include <vector>

#include "htmltip/html_vocabulary.h"

namespace v7test {

struct SelectionDialogTip {
  std::string name;  // e.g. "expiry-ko"
  v7::htmltip::HtmlGeneration generation;
  bool windowBackground;  // first generation: created in the window-colour style
  bool linkTip;           // first generation: shown with a query
  std::u16string html;
};

std::vector<SelectionDialogTip> SelectionDialogTips();

}  // namespace v7test
