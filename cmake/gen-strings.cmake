# String tables: a module's user-visible texts live in one strings.txt (Korean at id N, English at
# N + 1); tools/gen-strings/gen_strings.py turns it at build time into
#   <dir>/string_ids.h      #define IDS_... N, included as "<dir>/string_ids.h"
#   <dir>/strings.rc        the STRINGTABLE (UTF-8) for the module's Windows binary
#   <dir>/string_table.h    the portable table: FindString(id), FindPairText(id, korean)
#   <dir>/string_table.cpp
# under V7_GENERATED_DIR. A text's @NAME@ becomes the deployment value NAME of the generated
# deployment header (cmake/deployment.cmake), so a table names the addresses the build was
# configured with. The generator is python3 of the standard library, so a cross build runs
# it on the build host as it is.
#
# v7_string_table(<target> TABLE <strings.txt> DIR <path below the generated folder>
#                 NAMESPACE <a::b>)
# defines
#   <target>      a static library: the portable table and the ids header, for any build;
#   <target>_rc   (Windows builds only) an object library of the compiled STRINGTABLE: a binary
#                 that links it carries the strings as resources, so LoadText/LoadPairText find
#                 them (a static library would drop the resource object, nothing refers to it);
# and sets <target>_RC in the caller's scope to the generated resource script's path.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(v7_string_table target)
  cmake_parse_arguments(ARG "" "TABLE;DIR;NAMESPACE" "" ${ARGN})
  if(NOT ARG_TABLE OR NOT ARG_DIR OR NOT ARG_NAMESPACE)
    message(FATAL_ERROR "v7_string_table(${target}) needs TABLE, DIR and NAMESPACE")
  endif()
  get_filename_component(table "${ARG_TABLE}" ABSOLUTE)
  set(script "${CMAKE_SOURCE_DIR}/tools/gen-strings/gen_strings.py")
  set(out "${V7_GENERATED_DIR}/${ARG_DIR}")
  set(deployment "${V7_GENERATED_DIR}/v7config/deployment.h")
  set(outputs "${out}/string_ids.h" "${out}/strings.rc" "${out}/string_table.h" "${out}/string_table.cpp")
  file(MAKE_DIRECTORY "${out}")
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND Python3::Interpreter "${script}" "${table}" --ids "${out}/string_ids.h" --rc "${out}/strings.rc"
            --header "${out}/string_table.h" --cpp "${out}/string_table.cpp" --namespace "${ARG_NAMESPACE}"
            --include-as "${ARG_DIR}/string_table.h" --deployment "${deployment}"
    DEPENDS "${script}" "${table}" "${deployment}"
    COMMENT "Generating the string table of ${ARG_DIR}"
    VERBATIM)

  add_library(${target} STATIC "${out}/string_table.cpp" "${out}/string_table.h" "${out}/string_ids.h")
  target_include_directories(${target} PUBLIC "${V7_GENERATED_DIR}")
  if(WIN32)
    add_library(${target}_rc OBJECT "${out}/strings.rc")
  endif()
  set(${target}_RC "${out}/strings.rc" PARENT_SCOPE)
endfunction()
