# The manual page docs/ddsswizzle.1 as man shows it: groff renders it with
# every warning turned on (-ww) and its output thrown away (-z); any message
# on standard error fails the test. The title line must name the version the
# project has, so that a release cannot ship the page of the one before.
#
#   cmake -DGROFF=groff -DPAGE=docs/ddsswizzle.1 -DVERSION=1.2.0 -P check_man_page.cmake
cmake_minimum_required(VERSION 3.25)

file(STRINGS ${PAGE} title REGEX "^\\.TH ")
if(NOT title MATCHES "^\\.TH DDSSWIZZLE 1 \"[0-9-]+\" \"ddsswizzle ${VERSION}\"")
  message(FATAL_ERROR "${PAGE}: the title line should be .TH DDSSWIZZLE 1 \"DATE\" \"ddsswizzle ${VERSION}\", not: ${title}")
endif()

if(NOT GROFF)
  message("SKIPPED: no groff program (Debian package groff-base)")
  return()
endif()
execute_process(COMMAND ${GROFF} -ww -z -man ${PAGE}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
  message(FATAL_ERROR "groff -ww -z -man ${PAGE} (exit ${result}):\n${errors}${output}")
endif()
message(STATUS "groff renders ${PAGE} without a warning")
