# Checks that a Linux executable loads no shared library but the C library
# (and the dynamic loader), i.e. that the C++ runtime and libgcc were linked
# in and the program starts about as fast as a C program.
#
#   cmake -DOBJDUMP=objdump -DEXECUTABLE=ddsswizzle -P check_linux_libraries.cmake
cmake_minimum_required(VERSION 3.25)
set(c_library_parts libc.so.6 ld-linux-x86-64.so.2 ld-linux-aarch64.so.1 ld-linux.so.2)

execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE dump RESULT_VARIABLE dumped)
if(NOT dumped EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXECUTABLE} failed: ${dumped}")
endif()
if(NOT dump MATCHES "file format elf")
  message(FATAL_ERROR "${EXECUTABLE} is not an ELF file")
endif()
string(REGEX MATCHALL "NEEDED[ \t]+[^\r\n]+" entries "${dump}")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^NEEDED[ \t]+" "" library "${entry}")
  string(STRIP "${library}" library)
  message(STATUS "needs ${library}")
  if(NOT library IN_LIST c_library_parts)
    message(FATAL_ERROR "${EXECUTABLE} needs ${library}; only the C library may be loaded at start")
  endif()
endforeach()
