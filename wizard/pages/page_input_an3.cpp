#include "wizard/pages/page_input_an3.h"

#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {
namespace {

const int kGroups[] = {IDC_AN_GROUP1, IDC_AN_GROUP2, IDC_AN_GROUP3};

}  // namespace

CPageInputAN3::CPageInputAN3()
    : CFixedCodePage(IDD, CodePage::kInputAN3, GroupRow{kGroups, 3}, IDS_CODE12_INPUT_DESCRIPTION) {}

}  // namespace pages
}  // namespace v7
