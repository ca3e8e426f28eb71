# The built-in CA table: a C++ source generated from the DER files of V7_CA_CERT_DIR (see
# cmake/deployment.cmake) by tools/gen-ca-table/gen_ca_table.py. The generator is a python3
# script of the standard library, so a cross build runs it on the build host as it is and needs
# no host compiler.
#
# v7_ca_table(<output variable>): sets the variable to the generated source's path and defines
# the target v7_ca_table that makes it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(v7_ca_table out_var)
  set(manifest "${V7_CA_CERT_DIR}/ca-table.txt")
  if(NOT EXISTS "${manifest}")
    message(FATAL_ERROR "V7_CA_CERT_DIR (${V7_CA_CERT_DIR}) has no manifest ca-table.txt")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${manifest}")
  file(STRINGS "${manifest}" lines)
  set(files "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "#.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(NOT line STREQUAL "")
      if(NOT EXISTS "${V7_CA_CERT_DIR}/${line}")
        message(FATAL_ERROR "${manifest} names ${line}, which is not in the folder")
      endif()
      list(APPEND files "${V7_CA_CERT_DIR}/${line}")
    endif()
  endforeach()
  list(LENGTH files count)
  if(count LESS 2)
    message(FATAL_ERROR "${manifest} must name the two national roots first")
  endif()

  # Only the test PKI may stand in for the national roots: any other folder must carry the real
  # ones, recognised by their published fingerprints.
  file(REAL_PATH "${V7_CA_CERT_DIR}" dir_real)
  file(REAL_PATH "${V7_CA_CERT_DIR_DEFAULT}" default_real)
  if(NOT dir_real STREQUAL default_real)
    foreach(index 0 1)
      list(GET files ${index} root_file)
      # A root replaced later must be checked again.
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${root_file}")
      file(SHA256 "${root_file}" actual)
      string(TOLOWER "${V7_ROOT${index}_SHA256}" expected)
      string(REPLACE " " "" expected "${expected}")
      if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "${root_file}: SHA-256 ${actual}, but record ${index} of the CA table "
                            "must be the national root with V7_ROOT${index}_SHA256 ${expected}")
      endif()
    endforeach()
  endif()

  set(script "${CMAKE_SOURCE_DIR}/tools/gen-ca-table/gen_ca_table.py")
  set(output "${V7_GENERATED_DIR}/pki/builtin_ca_table.cpp")
  file(MAKE_DIRECTORY "${V7_GENERATED_DIR}/pki")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND Python3::Interpreter "${script}" "${manifest}" "${output}"
    DEPENDS "${script}" "${manifest}" ${files}
    COMMENT "Generating the built-in CA table from ${V7_CA_CERT_DIR}"
    VERBATIM)
  # The library is defined in another folder, which sees the custom command only through a
  # target of this one.
  add_custom_target(v7_ca_table DEPENDS "${output}")
  set(${out_var} "${output}" PARENT_SCOPE)
endfunction()
