// The control's one property page, "General": it shows nothing, as the control has no
// properties.
#pragma once

#include "control/ole/property_page.h"
#include "control/res/cert_relay_ids.h"

namespace v7 {
namespace control {

class CCertRelayActiveXPropPage : public ole::COlePropertyPage {
 public:
  enum { IDD = IDD_PROPPAGE_CERTRELAY };
  CCertRelayActiveXPropPage() : COlePropertyPage(IDD, IDS_CERTRELAY_PROPPAGE_CAPTION) {}
};

}  // namespace control
}  // namespace v7
