set(V7_SCREENSHOT_DIR "${CMAKE_BINARY_DIR}/screenshots")
if(WIN32)
  file(MAKE_DIRECTORY "${V7_SCREENSHOT_DIR}")
endif()

# v7_add_test(<name> SOURCES <files...> [LIBS <targets...>])
# One executable per group of tests and one ctest test per executable: a Wine process start costs
# about a second, so the win32 run must not start one process per test case.
function(v7_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE v7_test_harness ${ARG_LIBS} GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE V7_TEST_NAME="${name}")
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  # Screenshots of the Windows tests land in the build folder (Wine sees the host's root as Z:).
  if(WIN32)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "V7_SCREENSHOT_DIR=Z:${V7_SCREENSHOT_DIR}")
  endif()
endfunction()

# v7_add_fuzzer(<name> SOURCES <files...> [LIBS <targets...>])
function(v7_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(V7_BUILD_FUZZERS)
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endif()
endfunction()

# v7_test_module(<target> <file name> <folder> SOURCES <files...> [DEFINES <...>] [LIBS <...>])
# A stand-in for a DLL the product loads by its file name, built under that name in a folder of
# its own: without the mingw runtime DLL beside it (the toolchain's -static covers shared
# libraries, not modules), and with the undecorated stdcall names GetProcAddress is asked for.
function(v7_test_module target file_name folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEFINES;LIBS" ${ARGN})
  add_library(${target} MODULE ${ARG_SOURCES})
  target_compile_definitions(${target} PRIVATE ${ARG_DEFINES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  get_filename_component(stem "${file_name}" NAME_WLE)
  get_filename_component(suffix "${file_name}" LAST_EXT)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME "${stem}" PREFIX "" SUFFIX "${suffix}"
                                             LIBRARY_OUTPUT_DIRECTORY "${folder}")
  target_link_options(${target} PRIVATE -static)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()
endfunction()

# v7_missing_peer(<what> <consequence>)
# A peer the tests start (slapd, pcscd with vpcd, the signing tool, the test relay server) is not
# on this machine. In CI that fails the configuration: a run that silently drops its tests would
# report green for code nothing tested. Elsewhere the configuration goes on, says why, and leaves a
# placeholder test that ctest lists as skipped with the same reason.
function(v7_missing_peer what consequence)
  set(reason "${what} not found (scripts/setup installs it): ${consequence}")
  if("$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "${reason}")
  endif()
  message(WARNING "${reason}")
  string(MAKE_C_IDENTIFIER "peer_missing_${what}" test_name)
  if(NOT TEST ${test_name})
    add_test(NAME ${test_name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
    set_tests_properties(${test_name} PROPERTIES SKIP_REGULAR_EXPRESSION "skipped: ")
  endif()
endfunction()

# The test relay server is a native program in both builds; the cross-built tests reach it on
# 127.0.0.1 under Wine. v7_find_relayd(<what>) sets V7_RELAYD to it and V7_HOST_ROOT to the
# prefix that turns a host path into one a Windows test can open, in the caller's scope; in a
# cross build without one (native-asan not built yet) V7_RELAYD is empty and v7_missing_peer says
# that <what> is not registered.
function(v7_find_relayd what)
  if(CMAKE_CROSSCOMPILING)
    set(relayd "${V7_RELAYD_EXECUTABLE}")
    set(V7_HOST_ROOT "Z:" PARENT_SCOPE)
    if(NOT EXISTS "${relayd}")
      v7_missing_peer("test relay server" "looked for at '${relayd}' (build native-asan first); ${what} is not registered")
      set(relayd "")
    endif()
  else()
    set(relayd "$<TARGET_FILE:relayd>")
    set(V7_HOST_ROOT "" PARENT_SCOPE)
  endif()
  set(V7_RELAYD "${relayd}" PARENT_SCOPE)
endfunction()

# v7_relayd_fixture(<fixture> TESTS <tests...> [LISTENERS] [LISTEN <spec>...] [LIFETIME <s>]
#                   [PORTS_VARIABLE <name>])
# Starts a relayd of its own before the tests and stops it by its pid after them. LISTENERS loads
# the shared listener script; each LISTEN adds one listener. The tests find the ports file in the
# environment variable PORTS_VARIABLE (V7_RELAYD_PORTS by default). Call v7_find_relayd first.
function(v7_relayd_fixture fixture)
  cmake_parse_arguments(ARG "LISTENERS" "LIFETIME;PORTS_VARIABLE" "TESTS;LISTEN" ${ARGN})
  if(NOT ARG_LIFETIME)
    set(ARG_LIFETIME 900)
  endif()
  if(NOT ARG_PORTS_VARIABLE)
    set(ARG_PORTS_VARIABLE V7_RELAYD_PORTS)
  endif()
  set(run "${CMAKE_CURRENT_BINARY_DIR}/${fixture}")
  set(options "")
  if(ARG_LISTENERS)
    list(APPEND options --script "${CMAKE_SOURCE_DIR}/tests/fixtures/relay/relayd-listeners.txt")
  endif()
  foreach(spec IN LISTS ARG_LISTEN)
    list(APPEND options --listen "${spec}")
  endforeach()
  add_test(NAME ${fixture}_start
           COMMAND "${V7_RELAYD}" --daemon --log "${run}.log" --lifetime ${ARG_LIFETIME}
                   --cert "${CMAKE_SOURCE_DIR}/tests/fixtures/pki/relay.der"
                   --chain "${CMAKE_SOURCE_DIR}/tests/fixtures/pki/ca.der"
                   --key "${CMAKE_SOURCE_DIR}/tests/fixtures/relay/relay_key.der"
                   ${options} --ports-file "${run}.ports" --pid-file "${run}.pid")
  add_test(NAME ${fixture}_stop COMMAND "${V7_RELAYD}" --stop "${run}.pid")
  set_tests_properties(${fixture}_start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 30)
  set_tests_properties(${fixture}_stop PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 30)
  set_tests_properties(${ARG_TESTS} PROPERTIES FIXTURES_REQUIRED ${fixture})
  set_property(TEST ${ARG_TESTS} APPEND PROPERTY ENVIRONMENT
               "${ARG_PORTS_VARIABLE}=${V7_HOST_ROOT}${run}.ports")
endfunction()
