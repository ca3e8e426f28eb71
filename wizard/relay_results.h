// What the transfer exports return; portable, for the rules that choose it and for callers.
#pragma once

// The results of the transfer exports.
enum : int {
  kRelayExportCompleted = 0,     // the certificate set went across and, on a receive, was stored
  kRelayExportCancelled = 21500,  // the user cancelled
  kRelayExportUnknownType = 1001,  // a type the export does not know; nothing was shown
  kRelayExportFailed = -1,        // anything else: the wizard or a message box said why
};
