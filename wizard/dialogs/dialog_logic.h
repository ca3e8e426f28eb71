// The decisions of the small dialogs, apart from their windows: which texts the error dialog
// shows and how they are read, what the password, PIN and file prompts hand back to their
// callers, and which install page may be opened. Portable, so the tables of cases run natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ERROR_CTX;
struct RelayRequestRecord;

namespace v7 {
namespace dialogs {

// Code pages a narrow text can claim.
enum : unsigned { kCodePageEucKr = 949, kCodePageUtf8 = 65001 };

// A text on its way to the screen. A text that converted travels wide; one that did not keeps
// its bytes and the code page they claim, so the platform shows what it can of them in that code
// page and never reads them as another encoding.
struct ShownText {
  bool present = false;
  bool wide = true;
  std::u16string text;     // wide
  std::string narrow;      // not wide
  unsigned code_page = 0;  // of narrow

  bool empty() const { return wide ? text.empty() : narrow.empty(); }
};

// Null: no text. Else the wide text as it stands.
ShownText shown_wide(const char16_t *text);
// Null: no text. Else the text converted from EUC-KR or UTF-8, or its bytes when it does not
// convert.
ShownText shown_narrow(const char *text, bool utf8);
// The same in the encoding CharEncodingMode names.
ShownText shown_setting(const char *text);

// The rendering flags of texts shown to the user: English unless the language is Korean.
uint16_t display_error_flags();

// The context's text in the user's language; no text for a null context. When a detail of the
// context is not in the rendering's encoding, the UTF-8 rendering's bytes.
ShownText context_detail(ERROR_CTX *ctx);
// The message of one code in the user's language (the empty text for a code without one).
ShownText code_detail(int code);

// The error dialog's limits on its detail: wide characters or bytes, terminator included.
enum : size_t { kDetailWideCapacity = 2048, kDetailNarrowCapacity = 4096 };

// The detail as the rich edit takes it: "\r\n" before the text, cut to the capacity on a
// character boundary (never inside a surrogate pair or a multibyte character).
ShownText detail_for_display(const ShownText &detail);

// The longest prefix of at most max_units code units that ends on a character boundary.
size_t utf16_cut(const std::u16string &text, size_t max_units);
// The longest prefix of at most max_bytes bytes that ends on a character boundary of the code
// page (UTF-8 or a double-byte code page such as 949).
size_t narrow_cut(const std::string &text, size_t max_bytes, unsigned code_page);

// What the error dialog puts on screen. A summary that is absent or empty leaves the template's
// text; an absent detail leaves the rich edit empty.
struct ErrorDlgTexts {
  ShownText summary;
  ShownText detail;
  bool english = false;
};
ErrorDlgTexts error_dialog_texts(const ShownText &summary, const ShownText &detail);

// The English texts the error dialog sets over its Korean template.
extern const char16_t kErrorCaptionEnglish[];  // "velmora API Error"
extern const char16_t kOkEnglish[];            // "OK"
extern const char16_t kCancelEnglish[];        // "Cancel"

// The prompts' entry buffers, terminator included.
enum : size_t { kEntryCapacity = 128, kPasswordOutCapacity = 128, kPinOutCapacity = 64, kPathOutCapacity = 261 };

// What a prompt's run left: its modal result (IDOK = 1 accepted), the typed text, and whether the
// typed text was refused because it did not fit the entry buffer or had no narrow form in the
// setting's encoding (the text is then empty, never cut).
struct PromptEntry {
  int modal_result;
  const char *text;
  bool too_long;
};

// AskPkcs12Password: 21500 cancelled, -1 empty, 1001 does not fit (out_capacity bytes or more), 0
// with the password copied. out is emptied on every failure.
int pkcs12_password_result(const PromptEntry &entry, char *out, size_t out_capacity);
// AskPin: 21500 cancelled, 1002 does not fit, 0 with the PIN (or the empty text) copied.
int pin_result(const PromptEntry &entry, char *out, size_t out_capacity);

// Which file chooser the OS generation code calls for: the common dialog before Vista, the
// broker's otherwise.
enum class FileChooser { kCommonDialog, kBroker };
FileChooser file_chooser_for(int os_code);

// ChoosePkcs12File after its chooser answered chooser_rc with path: the chooser's code (21500 for
// cancel) on failure; 33001 when there is no path or it has no narrow form in the setting's
// encoding; 1007 when the narrow path does not fit out_capacity; else 0 with the path copied.
int pkcs12_file_result(int chooser_rc, const char16_t *path, char *out, size_t out_capacity);

// The common dialog's filter: label and pattern, each terminated, and the list's end.
extern const char16_t kPkcs12Filter[];
extern const char16_t kPkcs12DefaultExtension[];
enum : int { kFileKindPkcs12 = 4 };

// Install pages by kind: 16 the phone relay module, 32 the USB-key module, 512 the secure-disk
// module. Null for another kind, a null request or an empty field.
enum : int { kInstallPagePhone = 16, kInstallPageUsbKey = 32, kInstallPageSecureDisk = 512 };
const char *install_page_for(const RelayRequestRecord *request, int kind);

// The address a browser may be sent to: the EUC-KR address from the request as wide text, only
// for http and https with a host, with spaces, non-ASCII characters and characters that are
// unsafe in an address percent-encoded (non-ASCII as its UTF-8 bytes). 0, or kErrInvalidParameter
// for anything else (another scheme, no host, a control character, no conversion).
int page_address(const char *address, std::u16string *out);
// The same checks and encoding for an address taken from a certificate or a link (a policy's CPS,
// say), whose text is in the encoding CharEncodingMode names.
int link_address(const char *address, std::u16string *out);

}  // namespace dialogs
}  // namespace v7
