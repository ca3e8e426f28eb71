// What every page of the transfer wizard does alike: the buttons it posts to its sheet, the
// answer to the sheet's cancel query and its texts from string pairs.
#pragma once

#include <windows.h>

#include "platform/classlib/property_sheet.h"

namespace v7 {
namespace pages {

// Posts (never sends) PSM_SETWIZBUTTONS with a WizardButtonFlags value to the page's sheet, so a
// page may set them from inside any of its handlers.
void PostWizardButtons(const classlib::CPropertyPage &page, int flags);

// The Yes/No question every page asks when the user cancels: TRUE (let the wizard close) on Yes
// only.
BOOL ConfirmQuit();

// A control's text from a string pair in the process language.
void SetPairText(HWND dialog, int id, UINT korean_id);

// Whether the page has a page before it in its sheet (Back would lead somewhere).
bool HasPreviousPage(const classlib::CPropertyPage &page);

}  // namespace pages
}  // namespace v7
