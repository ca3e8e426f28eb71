// The fingerprints of the trusted national roots, for the user to compare with what the national
// agency publishes. The text comes from the built-in CA table's own bytes.
#pragma once

#include <string>

#include "platform/classlib/dialog.h"
#include "platform/classlib/message_map.h"
#include "wizard/res/viewer_ids.h"

namespace v7 {
namespace viewer {

// The root authority's page of published fingerprints (a deployment value).
extern const char kRootFingerprintPage[];

class CVerifyRootDlg : public classlib::CDialog {
 public:
  enum { IDD = IDD_VERIFY_ROOT };
  CVerifyRootDlg();

  BOOL OnInitDialog() override;
  // Return never ends it: only Escape or the close box.
  void OnOK() override {}

  const std::wstring &FingerprintText() const { return fingerprints_; }

  BEGIN_MSG_MAP(CVerifyRootDlg)
  COMMAND_ID_HANDLER(IDC_ROOT_SITE, OnSite)
  END_MSG_MAP()

 private:
  void OnSite();

  std::wstring fingerprints_;
};

}  // namespace viewer
}  // namespace v7
