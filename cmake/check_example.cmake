# Runs an example of examples/ (convert_surface, C++ or C) on a made-up game
# container: 100 bytes of the container's own, the 4 x 4 surface of 32-bit
# pixels (B8G8R8A8_UNORM) in the console's layout, 16 bytes more. Checks the
# linear result for the PS3 (every pixel at its Morton position) and the
# Xbox 360 (the worked pixels, byte-reversed), and that a container cut short
# is refused with the library's message.
#
#   cmake -DEXAMPLE=convert_surface_cpp [-DEMULATOR=wine-run.sh;prefix] -DWORK=dir -P check_example.cmake
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY ${WORK})

# Console byte i holds 1 + i % 125: no zero byte (CMake strings hold none),
# and the worked bytes below all differ.
set(cycle "")
foreach(value RANGE 1 125)
  string(ASCII ${value} character)
  string(APPEND cycle "${character}")
endforeach()
string(REPEAT "${cycle}" 33 console)
string(REPEAT "H" 100 header)
string(REPEAT "T" 16 trailer)

# Writes a container of the first payload_size console bytes, runs the example
# on it, and gives its exit status, its output and its result as hex digits.
function(run_example console_name payload_size)
  string(SUBSTRING "${console}" 0 ${payload_size} payload)
  set(container ${WORK}/${console_name}_${payload_size}.bin)
  set(result ${WORK}/${console_name}_${payload_size}.linear)
  file(WRITE ${container} "${header}${payload}${trailer}")
  file(REMOVE ${result})
  execute_process(COMMAND ${EMULATOR} ${EXAMPLE} ${console_name} ${container} 100 B8G8R8A8_UNORM 4 4 1 ${result}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(hex "")
  if(EXISTS ${result})
    file(READ ${result} hex HEX)
  endif()
  message(STATUS "${console_name}, ${payload_size} bytes: exit ${status}: ${output}")
  set(status ${status} PARENT_SCOPE)
  set(output "${output}" PARENT_SCOPE)
  set(hex ${hex} PARENT_SCOPE)
endfunction()

# The linear pixel (x, y) of the 4 x 4 result, as hex digits.
function(expect_pixel x y expected)
  math(EXPR at "(${y} * 4 + ${x}) * 8")
  string(SUBSTRING "${hex}" ${at} 8 pixel)
  if(NOT pixel STREQUAL expected)
    message(FATAL_ERROR "${EXAMPLE}: pixel (${x}, ${y}) is ${pixel}, not ${expected}")
  endif()
endfunction()

function(expect_linear_result)
  string(LENGTH "${hex}" digits)
  if(NOT status EQUAL 0 OR NOT digits EQUAL 128)
    message(FATAL_ERROR "${EXAMPLE} should write 64 linear bytes: exit ${status}, ${digits} hex digits\n${output}")
  endif()
endfunction()

# PS3: linear pixel (x, y) is the 4 bytes at Morton position x bit 0, y bit 0,
# x bit 1, y bit 1 in the payload.
run_example(ps3 64)
expect_linear_result()
foreach(y RANGE 3)
  foreach(x RANGE 3)
    math(EXPR position "(${x} & 1) | (${y} & 1) << 1 | (${x} & 2) << 1 | (${y} & 2) << 2")
    set(expected "")
    foreach(byte RANGE 3)
      math(EXPR value "1 + (${position} * 4 + ${byte}) % 125" OUTPUT_FORMAT HEXADECIMAL)
      string(REGEX REPLACE "^0x" "0" value "${value}")
      string(REGEX REPLACE "^0*(..)$" "\\1" value "${value}")
      string(APPEND expected "${value}")
    endforeach()
    expect_pixel(${x} ${y} "${expected}")
  endforeach()
endforeach()

# Xbox 360: pixel (0, 0) at payload byte 0, (1, 0) at 4, (0, 1) at 16, (0, 2)
# at 256, each with its 4 bytes reversed.
run_example(x360 4096)
expect_linear_result()
expect_pixel(0 0 "04030201")
expect_pixel(1 0 "08070605")
expect_pixel(0 1 "14131211")
expect_pixel(0 2 "0a090807")

# The container ends inside the texture: refused, nothing written.
run_example(x360 4000)
if(status EQUAL 0 OR NOT output MATCHES "Texture data is truncated" OR EXISTS ${WORK}/x360_4000.linear)
  message(FATAL_ERROR "${EXAMPLE} should refuse a cut container with \"Texture data is truncated\": exit ${status}\n${output}")
endif()
