// The selection record's life around the selection dialog: making it for a request, giving it the
// list of the medium on show, and reading the chosen set's raw parts into the driver's buffers
// once the dialog has ended with OK.
#pragma once

#include "media/selection_record.h"

struct CERT_ENTRY;
struct ERROR_CTX;
struct RelayRequestRecord;

// A new record for the request, with an empty list whose policy filter is the request's accepted
// policies. Null when either argument is null or memory runs out (a record without its list
// would hand every list call a null list, so none is returned).
CertListRecord *CertListCreate(ERROR_CTX *errors, const RelayRequestRecord *request);
// Makes the chain the list on show: 0, or -1 for a null record, request or entry.
int CertListSetEntries(CERT_ENTRY *first, CertListRecord *record);
// Frees the entries of the list on show and forgets the list and the chosen entry.
void CertListReset(CertListRecord *record);
// Runs the selection dialog over the record (Windows): 1 OK, 2 cancel, 1001 for a null record.
int CertListShowDialog(CertListRecord *record);
// A send's selection (Windows): runs the driver and gives 0 when the chosen set's parts are read,
// 21500 when the user cancelled, and -1 after telling the user that the certificate to transfer
// could not be read. Only a 0 hands the driver to the wizard.
int RunSendSelection(CCertSelect *select);

namespace v7 {
namespace select {

// Reads the parts of the driver's chosen entry into its five buffers, first emptying them: the
// secure disk's four parts after a login with the record's password; any other medium's signing
// pair, the card's VID random value when the card has it, and the key-management pair when the
// entry holds one. 0, or -1 with every buffer empty when a required part did not read (errno
// holds its code).
int read_selected_pairs(CCertSelect *select);

}  // namespace select
}  // namespace v7
