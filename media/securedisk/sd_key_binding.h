// The secure-disk client as the toolkit's secure-disk key objects reach it
// (pki/keys/keyobj_securedisk.h): the toolkit lies below the media layer and cannot call it, so the
// media layer hands its functions over with each handle.
#pragma once

#include "media/securedisk/securedisk.h"
#include "pki/keys/keyobj_securedisk.h"

// The binding's table; the same constant for every handle.
const SECURE_DISK_KEY_BINDING *sd_key_binding();

// What control KEYOBJ_CTRL_SD_SET_HANDLE takes for a handle (the object takes its own reference).
inline SECURE_DISK_KEY_HANDLE sd_key_handle(SecureDiskHandle *handle) {
  return SECURE_DISK_KEY_HANDLE{sd_key_binding(), handle};
}
