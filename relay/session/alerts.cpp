#include <cstdlib>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "relay/record.h"
#include "relay/session/internal.h"

namespace {

bool end_to_end_step(int step) {
  return step == int(RelayRecordType::EncryptionTarget) || step == int(RelayRecordType::RecipientKeys) ||
         step == int(RelayRecordType::Items);
}

// Stage 1: the internal code to the class a peer may learn.
int alert_class(int code, int step) {
  switch (code) {
    case v7::kErrRelayRsaDecrypt:
      return v7::kErrRelayAlertDecrypt;
    case v7::kErrRelayEnvelopeDecrypt:
      return end_to_end_step(step) ? v7::kErrRelayAlertDecrypt : v7::kErrRelayAlertServerDecrypt;
    case v7::kErrRelayShortRecord:
    case v7::kErrRelayUnexpectedType:
      return end_to_end_step(step) ? v7::kErrRelayAlertPeerRecord : v7::kErrRelayMalformed;
    case v7::kErrRelayBadItems:
    case v7::kErrRelaySubjectText:
      return v7::kErrRelayAlertImport;
    default:
      return code;
  }
}

}  // namespace

uint16_t relay_alert_for(int code, int step) {
  // Stage 2: only these classes go out as themselves.
  static const int kSentAsThemselves[] = {11, 12, 14, 15, 41, 42, 43, 44, 45, 46};
  int cls = alert_class(code, step);
  for (int sent : kSentAsThemselves)
    if (cls == sent) return uint16_t(cls);
  return v7::kErrRelayAlertOther;
}

int relay_record_error(RelaySession *s, int code, int step) {
  if (s == nullptr) return -1;
  if (s->last_error != 0) s->prev_error = s->last_error;
  s->last_error = code;
  s->step = uint8_t(step);
  if (code != v7::kErrRelayPeerAlert) s->alert_code = relay_alert_for(code, step);
  return s->alert_code != 0 ? -2 : -1;
}

int relay_check_alert(RelaySession *s, const uint8_t *rec, size_t len, int step) {
  if (s == nullptr || rec == nullptr || len <= 4 || rec[0] != uint8_t(RelayRecordType::Alert)) return 0;
  if (v7::load_be16(rec + 3) != 2 || len < kRelayHeaderLen + 2) return 0;
  uint16_t code = v7::load_be16(rec + 5);
  if (code == 0) return 1;
  // The peer's code is kept as it stands, without the bookkeeping that would pend a reply.
  if (s->last_error != 0) s->prev_error = s->last_error;
  s->last_error = code;
  relay_record_error(s, v7::kErrRelayPeerAlert, step);
  return -1;
}

size_t relay_alert_record(RelaySession *s, uint8_t **out) {
  if (out != nullptr) *out = nullptr;
  if (s == nullptr || out == nullptr || s->alert_code == 0) return 0;
  uint8_t *rec = static_cast<uint8_t *>(malloc(kRelayAlertRecordLen));
  size_t pos = 0;
  if (rec == nullptr ||
      relay_alert_write(rec, kRelayAlertRecordLen, &pos, s->own_version, s->alert_code) != 0) {
    free(rec);
    return 0;
  }
  *out = rec;
  return pos;
}

namespace v7 {

int relay_fail(RelaySession *s, int code, int step) {
  relay_record_error(s, code, step);
  return with_errno(code, -1);
}

size_t relay_fail0(RelaySession *s, int code, int step) {
  relay_record_error(s, code, step);
  return with_errno<size_t>(code, 0);
}

void relay_push_toolkit(RelaySession *s, int toolkit_code) {
  if (s == nullptr || toolkit_code == 0 || toolkit_code == kErrRelayNoMemory ||
      toolkit_code == kErrRelayShortRecord)
    return;
  err_push(s->error, toolkit_code, nullptr);
}

}  // namespace v7
