#include "crypto/base/wipe.h"
#include "media/securedisk/securedisk.h"
#include "media/store/store.h"
#include "media/token/p11.h"

namespace {
void wipe_text(std::string *text) {
  // The whole capacity: a shorter PIN set later must not leave the tail of an earlier one.
  if (text->capacity() != 0) v7::secure_wipe(&(*text)[0], text->capacity());
  text->clear();
}
}  // namespace

StoreMedium::~StoreMedium() {
  WipePin();
  if (module != nullptr) p11_module_release(module);
  if (secure_disk != nullptr) sd_handle_release(secure_disk);
}

void StoreMedium::WipePin() { wipe_text(&pin); }

void StoreMedium::SetPin(const char *text) {
  WipePin();
  if (text == nullptr) return;
  // Reserved before the copy so that the PIN never moves to a buffer left unwiped behind it.
  std::string fresh;
  fresh.reserve(std::char_traits<char>::length(text) + 1);
  fresh.assign(text);
  pin.swap(fresh);
  wipe_text(&fresh);
}
