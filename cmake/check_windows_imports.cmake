# Checks that a Windows executable or DLL imports only DLLs every Windows
# system has, i.e. that the C++ runtime, libgcc and winpthread were linked in
# statically: the program runs as one file, the DLL as one file beside the
# program that loads it.
#
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DEXECUTABLE=ddsswizzle.exe -P check_windows_imports.cmake
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DEXECUTABLE=ddsswizzle.dll -P check_windows_imports.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls advapi32.dll kernel32.dll msvcrt.dll ntdll.dll user32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE dump RESULT_VARIABLE dumped)
if(NOT dumped EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXECUTABLE} failed: ${dumped}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
if(NOT entries)
  message(FATAL_ERROR "no imported DLL found in ${EXECUTABLE}; is it a Windows executable or DLL?")
endif()
foreach(entry IN LISTS entries)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll_lower)
  message(STATUS "imports ${dll}")
  if(NOT dll_lower IN_LIST system_dlls)
    message(FATAL_ERROR "${EXECUTABLE} imports ${dll}, which is not part of Windows")
  endif()
endforeach()
