# Deployment values: one place, fed into one generated header. The default build points them at
# loopback and at the test PKI under tests/fixtures, so the tests and the demo run as they are.
# They are never read from the registry: the per-user key is writable by low-integrity code.
set(V7_RELAY_HOST "127.0.0.1" CACHE STRING "Host name or dotted address of the relay server")
set(V7_RELAY_RAW_PORT 4512 CACHE STRING "TCP port of the raw record transport")
set(V7_RELAY_HTTP_PORT 80 CACHE STRING "TCP port of the HTTP transport")
set(V7_RELAY_SUBJECT_NAME "cn=relay.test,ou=Test,o=Test,c=KR" CACHE STRING
    "Subject name the relay server's certificate must carry")
set(V7_DIRECTORY_SERVER "127.0.0.1:389" CACHE STRING "Directory server of certificate validation")
set(V7_CA_DIR "${CMAKE_SOURCE_DIR}/tests/fixtures/ca" CACHE PATH
    "Folder of DER files from which the built-in CA table is generated")

set(V7_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/deployment.h.in" "${V7_GENERATED_DIR}/v7config/deployment.h" @ONLY)

add_library(v7_config INTERFACE)
target_include_directories(v7_config INTERFACE "${V7_GENERATED_DIR}")
