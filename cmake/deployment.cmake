# Deployment values: one place, fed into one generated header. The default build points them at
# loopback and at the test PKI under tests/fixtures, so the tests and the demo run as they are.
# They are never read from the registry: the per-user key is writable by low-integrity code.
set(V7_RELAY_HOST "127.0.0.1" CACHE STRING "Host name or dotted address of the relay server")
set(V7_RELAY_RAW_PORT 4512 CACHE STRING "TCP port of the raw record transport")
set(V7_RELAY_HTTP_PORT 80 CACHE STRING "TCP port of the HTTP transport")
set(V7_RELAY_SUBJECT_NAME "cn=relay.test,ou=Test,o=Test,c=KR" CACHE STRING
    "Subject name the relay server's certificate must carry, last RDN first (cn=...,c=KR); its values cannot hold , + or =")
set(V7_TOKEN_APPROVAL_PAGE "http://127.0.0.1/token-programs/" CACHE STRING
    "The approval authority's page of approved token programs (the media page's install entry)")
# Host only: the port is a setting of its own (389 unless set).
set(V7_DIRECTORY_SERVER "127.0.0.1" CACHE STRING
    "Host name or dotted address of the directory server of certificate validation")
# Build folders configured when the default still carried the port keep working.
if(V7_DIRECTORY_SERVER STREQUAL "127.0.0.1:389")
  set_property(CACHE V7_DIRECTORY_SERVER PROPERTY VALUE "127.0.0.1")
endif()
if(V7_DIRECTORY_SERVER MATCHES "[:\"\\]" OR V7_DIRECTORY_SERVER STREQUAL "")
  message(FATAL_ERROR "V7_DIRECTORY_SERVER must be a host name or address, without a port")
endif()
string(LENGTH "${V7_DIRECTORY_SERVER}" v7_directory_server_length)
if(v7_directory_server_length GREATER 63)
  message(FATAL_ERROR "V7_DIRECTORY_SERVER must have at most 63 characters")
endif()

# The national root authority's page of published root fingerprints, which the root verification
# dialog opens for the user to compare with the fingerprints it shows (http or https only).
set(V7_ROOT_FINGERPRINT_PAGE "https://www.rootca.or.kr/" CACHE STRING
    "Address of the page where the national root authority publishes its root fingerprints")
if(NOT V7_ROOT_FINGERPRINT_PAGE MATCHES "^https?://[^/\" ][^\" ]*$")
  message(FATAL_ERROR "V7_ROOT_FINGERPRINT_PAGE must be an http or https address with a host, without quotes or spaces")
endif()

# The maker's home page, which the uninstaller's banner and shortcut open (http or https only).
set(V7_MAKER_HOME_PAGE "http://127.0.0.1/" CACHE STRING "Address of the maker's home page")
if(NOT V7_MAKER_HOME_PAGE MATCHES "^https?://[^\" ]+$")
  message(FATAL_ERROR "V7_MAKER_HOME_PAGE must be an http or https address without quotes or spaces")
endif()

# The pages the certificate selection dialog's tooltips open: the certificate service's renewal
# page (the chosen certificate's subject is appended, percent-encoded) and the two phone-certificate
# service sites of the phone menu. Web addresses only (http or https); anything else opens nothing.
set(V7_CERT_RENEWAL_PAGE "https://127.0.0.1/renewal?subject=" CACHE STRING
    "Page the expiry tooltip opens, the certificate's subject appended to it")
set(V7_PHONE_SIGN_SITE "https://127.0.0.1/phone-sign" CACHE STRING
    "Site the phone menu's signing tip opens")
set(V7_PHONE_USBKEY_SITE "https://127.0.0.1/phone-usbkey" CACHE STRING
    "Site the phone menu's USB-key tip opens")
foreach(name V7_TOKEN_APPROVAL_PAGE V7_CERT_RENEWAL_PAGE V7_PHONE_SIGN_SITE V7_PHONE_USBKEY_SITE)
  if(NOT ${name} MATCHES "^https?://[^ \"\\]+$")
    message(FATAL_ERROR "${name} must be an http or https address without blanks, quotes or backslashes")
  endif()
endforeach()
# The registration authority's page, which the selection dialog's banner button opens (http or
# https only).
set(V7_REGISTRATION_AUTHORITY_PAGE "https://127.0.0.1/ra" CACHE STRING
    "Page the certificate selection dialog's registration-authority button opens")
if(NOT V7_REGISTRATION_AUTHORITY_PAGE MATCHES "^https?://[^ \"\\]+$")
  message(FATAL_ERROR "V7_REGISTRATION_AUTHORITY_PAGE must be an http or https address without blanks, quotes or backslashes")
endif()


# The built-in CA table is generated from this folder (cmake/gen-ca-table.cmake): its manifest
# ca-table.txt names the DER files, the two national roots first. A folder other than the test
# PKI must hold national roots whose SHA-256 fingerprints are these two.
set(V7_CA_CERT_DIR_DEFAULT "${CMAKE_SOURCE_DIR}/tests/fixtures/pki")
set(V7_CA_CERT_DIR "${V7_CA_CERT_DIR_DEFAULT}" CACHE PATH
    "Folder of DER files from which the built-in CA table is generated")
set(V7_ROOT0_SHA256 "a002ff556c601863b08b9aa33a8e6666e97e72bbe552f66eb9f2395c68c7bc98" CACHE STRING
    "SHA-256 of the first national root of the CA table (RootCA 4)")
set(V7_ROOT1_SHA256 "6fdb3f76c8b801a75338d8a50a7c02879f6198b57e594d318d3832900fedcd79" CACHE STRING
    "SHA-256 of the second national root of the CA table (RootCA 1)")

# The two constants of the local sealing format, shared with the protected-mode broker. The
# defaults serve the tests and the stand-in broker; a production build names the broker's values.
set(V7_SEAL_KEY "03bc0b0e9ba836ed5ec51239c1c085877b5bbd8169916de557755fa48db915f1" CACHE STRING
    "Seal key: 32 bytes in hex, the HMAC key of the seal derivations")
set(V7_SEAL_MASK "709aaff81ed42ca741219cd779adad822ff0a88de65a81adf7cd82e812e35243" CACHE STRING
    "Seal mask: 32 bytes in hex, XORed into every round of the key-and-IV derivation")
foreach(name V7_SEAL_KEY V7_SEAL_MASK)
  if(NOT ${name} MATCHES "^[0-9a-fA-F]+$")
    message(FATAL_ERROR "${name} must be 64 hex digits")
  endif()
  string(LENGTH "${${name}}" digits)
  if(NOT digits EQUAL 64)
    message(FATAL_ERROR "${name} must be 64 hex digits")
  endif()
  string(REGEX REPLACE "([0-9a-fA-F][0-9a-fA-F])" "0x\\1, " ${name}_BYTES "${${name}}")
endforeach()

set(V7_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/deployment.h.in" "${V7_GENERATED_DIR}/v7config/deployment.h" @ONLY)

add_library(v7_config INTERFACE)
target_include_directories(v7_config INTERFACE "${V7_GENERATED_DIR}")
