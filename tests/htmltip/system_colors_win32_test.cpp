#include <gtest/gtest.h>

#include <windows.h>

#include "htmltip/html_vocabulary.h"
#include "htmltip/system_colors_win32.h"

namespace {

using namespace v7::htmltip;

TEST(HtmlSystemColors, NamesReadTheSystemColours) {
  const HtmlVocabulary second(HtmlGeneration::kSecond, HtmlWindowsSystemColor);
  EXPECT_EQ(second.GetColor(u"infobackground", 1), HtmlColor(GetSysColor(COLOR_INFOBK)));
  EXPECT_EQ(second.GetColor(u"buttonshadow", 1), HtmlColor(GetSysColor(COLOR_BTNSHADOW)));
  EXPECT_EQ(second.disabledColor, HtmlColor(GetSysColor(COLOR_BTNSHADOW)));
  const HtmlVocabulary first(HtmlGeneration::kFirst, HtmlWindowsSystemColor);
  EXPECT_EQ(first.GetColor(u"window", 1), HtmlColor(GetSysColor(COLOR_WINDOW)));
}

}  // namespace
