// velmoraRelayClear: the program that removes the browser control, the relay library and the
// maker's older modules from the machine.
#include <windows.h>

#include "platform/classlib/app.h"
#include "uninstall/uninstall_dlg.h"

namespace v7 {
namespace uninstall {

class CUninstallApp : public classlib::CWinApp {
 public:
  CUninstallApp() : CWinApp(L"velmoraRelayClear") {}

  BOOL InitInstance() override {
    classlib::AfxInitCommonControls();
    CUninstallDlg dialog;
    dialog.DoModal(nullptr);
    // The program ends with its dialog.
    return FALSE;
  }
};

CUninstallApp the_app;

}  // namespace uninstall
}  // namespace v7

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  v7::classlib::AfxWinInit(instance);
  v7::classlib::AfxWinTerm();
  return 0;
}
