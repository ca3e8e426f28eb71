#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "pki/validation/valcfg.h"

namespace {

struct AccreditedCa {
  const char *name;
  const char *const *oids;  // null-terminated, in the order the list names them
};

constexpr const char *kVelmoraOids[] = {
    "1.2.410.200005.1.1.7.1", "1.2.410.200005.1.1.6.0", "1.2.410.200005.1.1.6.9", "1.2.410.200005.1.1.6.8",
    "1.2.410.200005.1.1.6.7", "1.2.410.200005.1.1.6.6", "1.2.410.200005.1.1.6.5", "1.2.410.200005.1.1.6.4",
    "1.2.410.200005.1.1.6.3", "1.2.410.200005.1.1.6.1", "1.2.410.200005.1.1.5",   "1.2.410.200005.1.1.4",
    "1.2.410.200005.1.1.3",   "1.2.410.200005.1.1.2",   "1.2.410.200005.1.1.1",   nullptr};
constexpr const char *kSignGateOids[] = {"1.2.410.200004.5.2.1.7.1", "1.2.410.200004.5.2.1.2",
                                         "1.2.410.200004.5.2.1.1", nullptr};
constexpr const char *kSignKoreaOids[] = {"1.2.410.200004.5.1.1.7", "1.2.410.200004.5.1.1.5", nullptr};
constexpr const char *kCrossCertOids[] = {"1.2.410.200004.5.4.1.101", "1.2.410.200004.5.4.1.2",
                                          "1.2.410.200004.5.4.1.1", nullptr};
constexpr const char *kTradeSignOids[] = {"1.2.410.200012.1.1.101", "1.2.410.200012.1.1.3",
                                          "1.2.410.200012.1.1.1", nullptr};

constexpr AccreditedCa kAccreditedCas[] = {
    {"velmoraCA", kVelmoraOids},     {"signGATE FTCA02", kSignGateOids}, {"SignKorea CA", kSignKoreaOids},
    {"CrossCertCA", kCrossCertOids}, {"TradeSignCA", kTradeSignOids},
};

}  // namespace

// The phone modules read this list as it always was: each OID is looked for as a plain substring,
// so "1.2.410.200005.1.1.6.99" in the input also reports "...6.9", "...1.1.55" reports "...1.1.5"
// and "...5.4.1.101" reports "...5.4.1.1". That is the modules' contract, not a slip to mend here
// (path validation compares whole OIDs).
int ca_names_list(const char *policy_list, char **out) {
  if (policy_list == nullptr || out == nullptr) {
    return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  }
  *out = nullptr;
  int found = 0;
  std::string pairs;
  for (const AccreditedCa &ca : kAccreditedCas) {
    for (const char *const *oid = ca.oids; *oid != nullptr; oid++) {
      if (strstr(policy_list, *oid) == nullptr) continue;
      pairs.append(ca.name).append(";").append(*oid).append(";");
      found++;
    }
  }
  std::string text;
  if (found > 0) text = std::to_string(found) + ";" + pairs;
  char *result = static_cast<char *>(malloc(text.size() + 1));
  if (result == nullptr) return v7::with_errno(v7::kErrOutOfMemory, v7::kErrOutOfMemory);
  memcpy(result, text.c_str(), text.size() + 1);
  *out = result;
  return v7::with_errno(0, 0);
}
