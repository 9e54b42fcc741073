# Checks that the shared library exports exactly the functions ddsswizzle.h
# declares with DDSSWIZZLE_API: none missing, and nothing of the engine or of
# the C++ runtime besides them (which programs could come to depend on). On
# Linux it also checks the soname. With -DNOTHING=ON, that a Windows program
# linking the static library exports nothing.
#
#   cmake -DNM=nm -DOBJDUMP=objdump -DLIBRARY=libddsswizzle.so.1.2.0
#         -DHEADER=include/ddsswizzle/ddsswizzle.h -DSONAME=libddsswizzle.so.1 -P check_exports.cmake
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DLIBRARY=ddsswizzle.dll -DHEADER=... -P check_exports.cmake
cmake_minimum_required(VERSION 3.25)

# What the header promises, read from its declarations; those between
# "#ifdef _WIN32" and "#endif" only on Windows.
file(READ ${HEADER} header)
function(declared_names text out)
  string(REGEX MATCHALL "DDSSWIZZLE_API[^;(\n]*[ *](ddsswizzle_[a-z0-9_]+)\\(" names "${text}")
  list(TRANSFORM names REPLACE ".*[ *](ddsswizzle_[a-z0-9_]+)\\($" "\\1")
  set(${out} "${names}" PARENT_SCOPE)
endfunction()
declared_names("${header}" declarations)
string(REGEX MATCHALL "#ifdef _WIN32\n[^#]*#endif" windows_blocks "${header}")
declared_names("${windows_blocks}" windows_only)
list(SORT declarations)
list(LENGTH declarations declared)
if(declared LESS 10)
  message(FATAL_ERROR "found only ${declared} declarations in ${HEADER}: ${declarations}")
endif()
if(NOTHING)
  set(declarations "")
  set(declared 0)
endif()

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE dumped)
if(NOT dumped EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed: ${dumped}")
endif()

if(dump MATCHES "file format elf")
  # Defined dynamic symbols: "0000000000003420 T ddsswizzle_version".
  execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE listed)
  if(NOT listed EQUAL 0)
    message(FATAL_ERROR "${NM} -D --defined-only ${LIBRARY} failed: ${listed}")
  endif()
  string(REGEX MATCHALL "[^\r\n]+" exports "${symbols}")
  list(TRANSFORM exports REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "")
  if(NOT dump MATCHES "SONAME[ \t]+([^\r\n]+)")
    message(FATAL_ERROR "${LIBRARY} has no soname")
  endif()
  string(STRIP "${CMAKE_MATCH_1}" soname)
  if(NOT soname STREQUAL SONAME)
    message(FATAL_ERROR "${LIBRARY} has the soname ${soname}, not ${SONAME}")
  endif()
  message(STATUS "soname ${soname}")
  if(windows_only)
    list(REMOVE_ITEM declarations ${windows_only})
    list(LENGTH declarations declared)
  endif()
elseif(dump MATCHES "pei-x86-64")
  # The export table of the DLL: "\t[   0] ddsswizzle_check" after the
  # "[Ordinal/Name Pointer] Table" line, up to the first blank line.
  set(names "")
  if(dump MATCHES "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([^\n]+\n)*)")
    # Names only, before they become a list: CMake lists treat brackets apart.
    string(REGEX REPLACE "[^\n]*\\][ \t]*" "" names "${CMAKE_MATCH_1}")
  elseif(NOT NOTHING)
    message(FATAL_ERROR "${LIBRARY} has no export table")
  endif()
  string(REGEX MATCHALL "[^\r\n]+" exports "${names}")
  list(TRANSFORM exports STRIP)
else()
  message(FATAL_ERROR "${LIBRARY} is neither an ELF shared library nor a Windows DLL")
endif()

list(SORT exports)
set(missing "")
foreach(name IN LISTS declarations)
  if(NOT name IN_LIST exports)
    list(APPEND missing ${name})
  endif()
endforeach()
set(extra "")
foreach(name IN LISTS exports)
  if(NOT name IN_LIST declarations)
    list(APPEND extra ${name})
  endif()
endforeach()
message(STATUS "exports ${exports}")
if(missing OR extra)
  message(FATAL_ERROR "${LIBRARY} should export exactly ${declared} functions of ${HEADER}; "
                      "missing: ${missing}; not declared there: ${extra}")
endif()
