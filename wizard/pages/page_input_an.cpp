#include "wizard/pages/page_input_an.h"

#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {
namespace {

const int kGroups[] = {IDC_AN_GROUP1, IDC_AN_GROUP2};

}  // namespace

CPageInputAN::CPageInputAN()
    : CFixedCodePage(IDD, CodePage::kInputAN, GroupRow{kGroups, 2}, IDS_CODE8_INPUT_DESCRIPTION) {}

}  // namespace pages
}  // namespace v7
