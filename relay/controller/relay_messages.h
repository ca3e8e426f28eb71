// The private messages between a transfer's worker thread and the user interface. The worker
// posts window messages to the sheet; the user interface posts thread messages to the worker.
// A payload is a heap copy that the message owns, so it stays valid however long the message
// waits in the sheet's queue, whatever the controller frees meanwhile; whoever takes the message
// off the queue frees it with relay_message_payload_free (controller.h).
#pragma once

enum : unsigned {
  // UI -> worker: stop. worker -> sheet: the worker's last act (the sheet need not handle it).
  WM_RELAY_STOP = 2122,            // 0x84A
  WM_RELAY_SEND_STEP1 = 2125,      // 0x84D sender: SenderServerKey sent
  WM_RELAY_SEND_STEP2 = 2126,      // 0x84E sender: EncryptionTarget sent
  WM_RELAY_SEND_STEP3 = 2127,      // 0x84F sender: Items sent
  WM_RELAY_SEND_DONE = 2128,       // 0x850 sender: transfer finished
  WM_RELAY_RECV_CODEWAIT = 2130,   // 0x852 recipient: RecipientServerKey sent, code awaited
  WM_RELAY_AUTHCODE = 2131,        // 0x853 lParam: the code to show (char *, owned)
  WM_RELAY_CERTINFO = 2132,        // 0x854 lParam: subject text of the arriving certificate (owned)
  WM_RELAY_RECV_CERTWAIT = 2133,   // 0x855 recipient: RecipientKeys sent, items awaited
  WM_RELAY_CERTDATA = 2134,        // 0x856 lParam: ReceivedCertRecord * (owned)
  WM_RELAY_ERROR = 2144,           // 0x860 lParam: failure text (narrow, the setting's encoding; owned)
  WM_RELAY_PROCEED = 2145,         // 0x861 UI -> worker: go on after the subject-name page
  WM_RELAY_CONFIRM = 2146,         // 0x862 UI -> worker: the user confirmed the certificate
  WM_RELAY_CERTDATA_TAKEN = 2147,  // 0x863 UI -> worker: the sheet has taken the record
};
