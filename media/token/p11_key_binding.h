// The PKCS#11 binding as the token key objects of the toolkit reach it (pki/keys/keyobj_token.h):
// the toolkit lies below the media layer and cannot call it, so the media layer hands its
// functions over with each module.
#pragma once

#include "media/token/p11.h"
#include "pki/keys/keyobj_token.h"

// The binding's table; the same constant for every module.
const TOKEN_KEY_BINDING *p11_token_key_binding();

// What control KEYOBJ_CTRL_TOKEN_SET_MODULE takes for a module (the object retains it itself).
inline TOKEN_KEY_MODULE p11_token_key_module(P11_MODULE *module) {
  return TOKEN_KEY_MODULE{p11_token_key_binding(), module};
}
