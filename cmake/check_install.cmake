# The library as a user gets it: cmake --install into a folder of the build
# tree, then programs of someone else's built against that folder only. One
# STEP a test (tests/CMakeLists.txt), so that each shows in ctest on its own:
#
#   into_prefix   cmake --install BUILD_DIR --prefix WORK/prefix; every file
#                 there (the license and the manual page too), the soname
#                 links
#   find_package  tests/install/ configured and built against the prefix
#                 (C program with ddsswizzle::ddsswizzle_static, the C++
#                 example with ddsswizzle::ddsswizzle, which must load the
#                 shared library; both run); examples/ built on its own
#                 against the prefix and its tests run; the consumer
#                 CMakeLists.txt the README shows, built as it is written.
#                 None sets a C++ standard: the compiler's default (C++17 for
#                 GCC 12) is raised by the library's targets.
#   pkg_config    tests/c_api_test.c compiled with the flags of
#                 pkg-config --cflags --libs ddsswizzle, against the shared
#                 and (the linker told to prefer archives) the static
#                 library, both run; the C++ example compiled as the README
#                 shows (-std=c++20, an rpath to the library folder) and run;
#                 ddsswizzle.hpp refused before C++20 with its one-line error
#
# A step that cannot run prints "SKIPPED: <reason>", which the tests take as
# a skip (SKIP_REGULAR_EXPRESSION).
cmake_minimum_required(VERSION 3.25)
if(SKIP)
  message("SKIPPED: ${SKIP}")
  return()
endif()
set(prefix ${WORK}/prefix)

# Runs a command; stops with its output when it fails.
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${what} failed (${result}):\n${ARGN}\n${output}")
  endif()
  message(STATUS "${what}: ${output}")
endfunction()

# The libraries a program loads at start (NEEDED), as a list.
function(needed program out)
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump)
  string(REGEX MATCHALL "NEEDED[ \t]+[^\r\n]+" entries "${dump}")
  list(TRANSFORM entries REPLACE "^NEEDED[ \t]+" "")
  set(${out} ${entries} PARENT_SCOPE)
endfunction()

function(expect_needed program library wanted)
  needed(${program} libraries)
  if(library IN_LIST libraries AND NOT wanted)
    message(FATAL_ERROR "${program} loads ${library}; it should have the static library linked in")
  elseif(NOT library IN_LIST libraries AND wanted)
    message(FATAL_ERROR "${program} does not load ${library} (it loads ${libraries})")
  endif()
endfunction()

set(soname libddsswizzle.so.${VERSION_MAJOR})
if(STEP STREQUAL "into_prefix")
  file(REMOVE_RECURSE ${WORK})
  run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config ${CONFIG})
  foreach(file bin/ddsswizzle include/ddsswizzle/ddsswizzle.h include/ddsswizzle/ddsswizzle.hpp
          ${LIBDIR}/libddsswizzle.a ${LIBDIR}/libddsswizzle.so.${VERSION}
          ${LIBDIR}/cmake/ddsswizzle/ddsswizzleConfig.cmake
          ${LIBDIR}/cmake/ddsswizzle/ddsswizzleConfigVersion.cmake ${LIBDIR}/pkgconfig/ddsswizzle.pc
          share/doc/ddsswizzle/LICENSE share/man/man1/ddsswizzle.1)
    if(NOT EXISTS ${prefix}/${file} OR IS_SYMLINK ${prefix}/${file})
      message(FATAL_ERROR "cmake --install did not install the file ${file}")
    endif()
  endforeach()
  # The soname link the loader follows, the unversioned one the linker finds.
  foreach(link_target IN ITEMS "${soname}:libddsswizzle.so.${VERSION}" "libddsswizzle.so:${soname}")
    string(REPLACE ":" ";" link_target "${link_target}")
    list(GET link_target 0 link)
    list(GET link_target 1 target)
    file(READ_SYMLINK ${prefix}/${LIBDIR}/${link} points_to)
    if(NOT points_to STREQUAL target)
      message(FATAL_ERROR "${LIBDIR}/${link} should point to ${target}, not '${points_to}'")
    endif()
  endforeach()
elseif(STEP STREQUAL "find_package")
  # Only the prefix: CMAKE_FIND_USE_PACKAGE_REGISTRY off keeps a build tree
  # registered elsewhere from standing in for the installed package.
  function(build_against_prefix what source binary)
    file(REMOVE_RECURSE ${binary})
    run("configure ${what}" ${CMAKE_COMMAND} -S ${source} -B ${binary} -G ${GENERATOR}
        -DCMAKE_BUILD_TYPE=${CONFIG} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
        -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
    file(STRINGS ${binary}/CMakeCache.txt found REGEX "^ddsswizzle_DIR:")
    if(NOT found STREQUAL "ddsswizzle_DIR:PATH=${prefix}/${LIBDIR}/cmake/ddsswizzle")
      message(FATAL_ERROR "${what} found ddsswizzle elsewhere than in the prefix: ${found}")
    endif()
    run("build ${what}" ${CMAKE_COMMAND} --build ${binary} --config ${CONFIG})
  endfunction()

  set(consumer ${WORK}/find_package)
  build_against_prefix(tests/install ${SOURCE_DIR}/tests/install ${consumer})
  run("consumer_c" ${consumer}/consumer_c)
  expect_needed(${consumer}/consumer_c ${soname} FALSE)
  expect_needed(${consumer}/consumer_cpp ${soname} TRUE)
  run("consumer_cpp" ${CMAKE_COMMAND} -DEXAMPLE=${consumer}/consumer_cpp -DWORK=${consumer}/run
      -P ${SOURCE_DIR}/cmake/check_example.cmake)

  # examples/ as a project of its own, with its tests.
  set(examples ${WORK}/examples)
  build_against_prefix(examples/ ${SOURCE_DIR}/examples ${examples})
  cmake_path(GET CMAKE_COMMAND PARENT_PATH cmake_bin)
  find_program(ctest NAMES ctest HINTS ${cmake_bin} NO_DEFAULT_PATH)
  run("tests of examples/" ${ctest} --test-dir ${examples} -C ${CONFIG} --output-on-failure --no-tests=error)

  # The consumer of the README: its first cmake block, with the C++ example
  # as app.cpp.
  file(READ ${SOURCE_DIR}/README.md readme)
  string(REGEX MATCH "```cmake\n([^`]*)```" block "${readme}")
  set(consumer_text "${CMAKE_MATCH_1}")
  if(NOT consumer_text MATCHES "find_package\\(ddsswizzle" OR NOT consumer_text MATCHES "app\\.cpp")
    message(FATAL_ERROR "README.md: the first cmake block should be a consumer of app.cpp using find_package(ddsswizzle ...)")
  endif()
  set(readme_consumer ${WORK}/readme_consumer)
  file(REMOVE_RECURSE ${readme_consumer})
  file(WRITE ${readme_consumer}/source/CMakeLists.txt "${consumer_text}")
  file(COPY_FILE ${SOURCE_DIR}/examples/convert_surface.cpp ${readme_consumer}/source/app.cpp)
  build_against_prefix("README consumer" ${readme_consumer}/source ${readme_consumer}/build)
elseif(STEP STREQUAL "pkg_config")
  if(NOT PKG_CONFIG)
    message("SKIPPED: no pkg-config program (Debian package pkgconf)")
    return()
  endif()
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ddsswizzle OUTPUT_VARIABLE flags
                  RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pkg-config --cflags --libs ddsswizzle failed (${result})")
  endif()
  message(STATUS "pkg-config --cflags --libs ddsswizzle: ${flags}")
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(program ${WORK}/pkg_config_consumer)
  run("cc shared" ${C_COMPILER} -std=c99 -DDDSSWIZZLE_EXPECTED_VERSION="${VERSION}" ${SOURCE_DIR}/tests/c_api_test.c ${flags} -o ${program})
  set(ENV{LD_LIBRARY_PATH} ${prefix}/${LIBDIR})
  run("consumer, shared" ${program})
  expect_needed(${program} ${soname} TRUE)
  # The same flags with the static library: nothing more is needed.
  execute_process(COMMAND ${PKG_CONFIG} --static --cflags --libs ddsswizzle OUTPUT_VARIABLE static_flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(static_flags UNIX_COMMAND "${static_flags}")
  run("cc static" ${C_COMPILER} -std=c99 -DDDSSWIZZLE_EXPECTED_VERSION="${VERSION}" ${SOURCE_DIR}/tests/c_api_test.c
      -Wl,-Bstatic ${static_flags} -Wl,-Bdynamic -o ${program}_static)
  run("consumer, static" ${program}_static)
  expect_needed(${program}_static ${soname} FALSE)

  # C++ as the README writes it, with an rpath in place of LD_LIBRARY_PATH.
  unset(ENV{LD_LIBRARY_PATH})
  execute_process(COMMAND ${PKG_CONFIG} --variable=libdir ddsswizzle OUTPUT_VARIABLE libdir
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  run("c++ shared" ${CXX_COMPILER} -std=c++20 ${SOURCE_DIR}/examples/convert_surface.cpp ${flags}
      -Wl,-rpath,${libdir} -o ${program}_cpp)
  run("C++ consumer" ${CMAKE_COMMAND} -DEXAMPLE=${program}_cpp -DWORK=${WORK}/pkg_config_cpp_run
      -P ${SOURCE_DIR}/cmake/check_example.cmake)

  # Before C++20 the C++ header stops the compiler with one line that says
  # why, rather than with errors about std::span.
  file(WRITE ${WORK}/cxx17.cpp "#include <ddsswizzle/ddsswizzle.hpp>\n")
  execute_process(COMMAND ${PKG_CONFIG} --cflags ddsswizzle OUTPUT_VARIABLE cflags OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(cflags UNIX_COMMAND "${cflags}")
  execute_process(COMMAND ${CXX_COMPILER} -std=c++17 -fsyntax-only ${WORK}/cxx17.cpp ${cflags}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX MATCHALL "error:" errors "${output}")
  list(LENGTH errors error_count)
  if(result EQUAL 0 OR NOT error_count EQUAL 1 OR NOT output MATCHES "ddsswizzle.hpp needs C\\+\\+20")
    message(FATAL_ERROR "ddsswizzle.hpp with -std=c++17 should give its one error (exit ${result}):\n${output}")
  endif()
else()
  message(FATAL_ERROR "unknown STEP '${STEP}'")
endif()
