#!/bin/bash
# Makes fresh certificates with the OpenSSL CLI and writes OpenSSL's own reading of each beside it,
# for certview_openssl_test: OUT/<name>.der, OUT/<name>.txt (x509 -text with raw UTF-8 names),
# OUT/<name>.fields (serial, decimal serial, dates in ISO 8601, subject, issuer) and, for the
# certificate with every extension, OUT/full.san (asn1parse of the alternative name, which OpenSSL
# does not read as the identity otherName) and OUT/full.notice (the user notice's BMPString, which
# x509 -text does not print, located by asn1parse and read as UTF-16BE).
# A new key and new serials every run: nothing here is a stored answer.
#
# Usage: make-oracle-certs.sh OUT_DIR
set -euo pipefail
out=$1
fixtures=$(cd "$(dirname "$0")/../../fixtures/pki" && pwd)
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$work/key.pem" 2>/dev/null
vid_random=$(openssl rand -hex 20)
vid_san=$(python3 "$fixtures/der_helper.py" vid-san-email "홍길동" 8001011234567 "$vid_random" \
  hong@example.test)
policies=$(python3 "$fixtures/der_helper.py" policies 1.2.410.200005.1.1.1 \
  https://www.example.test/cps.html "이 인증서는 시험용입니다" 1.2.410.200005.1.1.5)

# The CA and request settings of the viewer fixture; the extensions are this script's own.
export PKI_DB=$work/db VID_SAN=$vid_san POLICIES=$policies
cat >"$work/ext.cnf" <<CNF
[ full ]
keyUsage = critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyAgreement,keyCertSign,cRLSign,encipherOnly,decipherOnly
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always,issuer:always
certificatePolicies = DER:$POLICIES
crlDistributionPoints = dp_http, dp_ldap
authorityInfoAccess = OCSP;URI:http://ocsp.example.test/,caIssuers;URI:http://ca.example.test/ca.der
extendedKeyUsage = 1.2.410.200004.10.3
subjectAltName = DER:$VID_SAN
[ dp_http ]
fullname = URI:http://crl.example.test/ca1.crl
[ dp_ldap ]
fullname = URI:ldap://ldap.example.test:389/cn=CRL1p1%2Cou=dp
CNF
for bit in digitalSignature nonRepudiation keyEncipherment dataEncipherment keyAgreement \
           keyCertSign cRLSign encipherOnly decipherOnly; do
  printf '[ ku_%s ]\nkeyUsage = %s\nsubjectKeyIdentifier = hash\n' "$bit" "$bit" >>"$work/ext.cnf"
done

# name, extension section, start, end, subject
make_cert() {
  mkdir -p "$work/db" && : >"$work/db/index.txt"
  # 16 random bytes with the top bit set, so DER carries a sign byte the display must not show.
  echo "8$(openssl rand -hex 16 | cut -c2-)" >"$work/db/serial"
  openssl req -new -config "$fixtures/certview.cnf" -utf8 -key "$work/key.pem" -subj "$5" -out "$work/$1.csr"
  openssl ca -config "$fixtures/certview.cnf" -extfile "$work/ext.cnf" -batch -notext -utf8 -selfsign -keyfile "$work/key.pem" \
    -in "$work/$1.csr" -out "$work/$1.pem" -extensions "$2" -startdate "$3" -enddate "$4" 2>"$work/ca.log" || { cat "$work/ca.log" >&2; exit 1; }
  openssl x509 -in "$work/$1.pem" -outform DER -out "$out/$1.der"
  openssl x509 -in "$work/$1.pem" -noout -text -nameopt RFC2253,-esc_msb >"$out/$1.txt"
  local serial
  serial=$(openssl x509 -in "$work/$1.pem" -noout -serial | cut -d= -f2)
  {
    echo "serial=$serial"
    echo "decimal=$(python3 -c "print(int('$serial', 16))")"
    openssl x509 -in "$work/$1.pem" -noout -dates -dateopt iso_8601
    openssl x509 -in "$work/$1.pem" -noout -subject -issuer -nameopt RFC2253,-esc_msb
  } >"$out/$1.fields"
}

# Validity from the last second of 2049 (the last UTCTime) to the first of 2050 (GeneralizedTime).
make_cert full full 491231235959Z 20500101000000Z "/C=KR/O=TestCA/OU=Viewer/CN=홍길동 Viewer"
for bit in digitalSignature nonRepudiation keyEncipherment dataEncipherment keyAgreement \
           keyCertSign cRLSign encipherOnly decipherOnly; do
  make_cert "ku_$bit" "ku_$bit" 20250101000000Z 20491231235959Z "/C=KR/O=TestCA/CN=$bit"
done

# The alternative name's value, opened by asn1parse: OpenSSL does not read the identity otherName.
offset=$(openssl asn1parse -inform DER -in "$out/full.der" |
  awk '/X509v3 Subject Alternative Name/ { getline; split($1, a, ":"); print a[1]; exit }')
openssl asn1parse -inform DER -in "$out/full.der" -strparse "$offset" >"$out/full.san"

offset=$(openssl asn1parse -inform DER -in "$out/full.der" |
  awk '/X509v3 Certificate Policies/ { getline; split($1, a, ":"); print a[1]; exit }')
openssl asn1parse -inform DER -in "$out/full.der" -strparse "$offset" -noout -out "$work/policies.der"
bmp=$(openssl asn1parse -inform DER -in "$work/policies.der" |
  awk '/BMPSTRING/ { split($1, a, ":"); sub(/^hl=/, "", $2);
                     print a[1], $2, ($3 == "l=" ? $4 : substr($3, 3)); exit }')
python3 - "$work/policies.der" $bmp >"$out/full.notice" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
at, header, length = (int(x) for x in sys.argv[2:5])
sys.stdout.write(data[at + header:at + header + length].decode("utf-16-be"))
PY
