#include "tests/pki/oid/openssl_oid_oracle.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>

#include <vector>

v7test::Bytes openssl_oid_contents(const std::string &dotted) {
  ASN1_OBJECT *obj = OBJ_txt2obj(dotted.c_str(), 1);
  if (obj == nullptr) return {};
  const unsigned char *p = OBJ_get0_data(obj);
  v7test::Bytes out(p, p + OBJ_length(obj));
  ASN1_OBJECT_free(obj);
  return out;
}

bool openssl_oid_text(const v7test::Bytes &contents, std::string *text) {
  if (contents.empty() || contents.size() > 127) return false;
  std::vector<unsigned char> der{0x06, static_cast<unsigned char>(contents.size())};
  der.insert(der.end(), contents.begin(), contents.end());
  const unsigned char *p = der.data();
  ASN1_OBJECT *obj = d2i_ASN1_OBJECT(nullptr, &p, long(der.size()));
  if (obj == nullptr) return false;
  char buf[512];
  int n = OBJ_obj2txt(buf, sizeof buf, obj, 1);
  ASN1_OBJECT_free(obj);
  if (n <= 0 || size_t(n) >= sizeof buf) return false;
  text->assign(buf, size_t(n));
  return true;
}
