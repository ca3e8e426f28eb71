// The certificate viewer's decisions and texts apart from its windows: the usage of a policy, the
// display name of a CA, the short names of the general page, the combo box of the two
// certificates, the verdict of a validation, the path row of the details page and the root
// fingerprint text. Portable, so the tables of cases run natively; the windows only show what
// these say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct RelayRequestRecord;

// The usage of a certificate policy: the first row of the usage table whose listed identifiers
// contain the policy's dotted text wins (so a prefix of a listed identifier matches that row);
// no policy, an empty one or an unlisted one gives "용도제한" / "Limited". Narrow text in the
// encoding CharEncodingMode names, wide text, in the process language.
std::string UsageText(const char *policy_oid);
std::u16string UsageTextW(const char *policy_oid);

// The display name of an issuer organisation (exact match), in the encoding CharEncodingMode
// names and the process language; another organisation, or one without a name in the language,
// is given back as it stands.
std::string CaDisplayName(const char *organisation);

namespace v7 {
namespace certview {

// The short name of a name text ("cn=Hong,ou=x,..."): the value of its first attribute, from
// after its "=" up to the next ",". The empty text when the name has no "=" (never a read past
// the end of a short or odd name).
std::string short_name(const char *name_text);

// The combo box over the two certificates: which items it lists (the signing certificate first)
// and whether it can be used.
struct ViewerChoice {
  int count;     // 0, 1 or 2 items
  int items[2];  // 0 the signing certificate, 1 the key-management certificate
  bool enabled;  // only with both
};
ViewerChoice viewer_choice(bool has_sign, bool has_km);
// The item texts.
const char *viewer_choice_text(int item, bool korean);  // UTF-8

// The validation policy the viewer asks for: the request's viewer policy when its version is
// above 1 and the text is not empty, else anyPolicy.
std::string viewer_validation_policy(const RelayRequestRecord *request);

// What the general page shows for a validation. skipped: the request asked for none. rc: 0
// valid, else the failing code.
struct ViewerVerdict {
  int icon;         // icon resource id
  int text_id;      // Korean id of the verdict's string pair, 0 for no text
  bool view_error;  // "View Error" shown and enabled
};
enum : int { kVerdictIconValid = 2019, kVerdictIconInvalid = 17011 };
ViewerVerdict viewer_verdict(bool skipped, int rc);

// The usage code each certificate of the pair is validated for.
int viewer_usage_code(int item);

// The details page's "Path" row for an entry, in the encoding CharEncodingMode names: the folder
// (already in that encoding) with "\" as "/" for the hard disk and removable drives (media 1 and
// 2), "보안토큰" / "HSM" for a token (4), "저장토큰" / "IC CARD" for a card (8); empty (no row) for any
// other medium or a missing folder.
std::string viewer_path_text(uint32_t media_code, const char *folder, bool korean);

// "\r\nRootCA 1 : 6FDB 3F76 ...\r\nRootCA 4 : A002 FF55 ..." of the two national roots: the second
// record of the table is RootCA 1, the first RootCA 4 (the agency's numbering); each fingerprint
// in groups of four upper-case hex digits.
std::u16string root_fingerprint_text(const uint8_t first_root[32], const uint8_t second_root[32]);
// The same for the roots of the built-in CA table.
std::u16string builtin_root_fingerprint_text();

}  // namespace certview
}  // namespace v7
