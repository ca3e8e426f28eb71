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
