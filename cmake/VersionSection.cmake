# Makes the C++ source that carries a program's version block in the Linux build:
#   cmake -DRES=<compiled resources, windres -O res> -DOUT=<source> -P VersionSection.cmake
# The block is the data of the version resource (type 16) of the .res file, byte for byte
# as the Windows build links it in; the source puts it into the ELF section that the
# program's own version reader looks for (platform/shared/XpExecutableImage.h).

file(READ "${RES}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")

# A little-endian number of width bytes at a byte offset of the file.
function(read_le offset width out)
  set(value "")
  math(EXPR last "${width} - 1")
  foreach(i RANGE ${last})
    math(EXPR at "(${offset} + ${i}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    set(value "${byte}${value}")
  endforeach()
  math(EXPR value "0x${value}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

set(offset 0)
set(found "")
while(offset LESS size)
  math(EXPR header_end "${offset} + 12")
  if(header_end GREATER size)
    break()
  endif()
  read_le(${offset} 4 data_size)
  math(EXPR at "${offset} + 4")
  read_le(${at} 4 header_size)
  math(EXPR at "${offset} + 8")
  read_le(${at} 2 type_mark)
  math(EXPR at "${offset} + 10")
  read_le(${at} 2 type_id)
  math(EXPR data "${offset} + ${header_size}")
  if(type_mark EQUAL 65535 AND type_id EQUAL 16 AND data_size GREATER 0)
    math(EXPR from "${data} * 2")
    math(EXPR count "${data_size} * 2")
    string(SUBSTRING "${hex}" ${from} ${count} found)
    break()
  endif()
  math(EXPR offset "(${data} + ${data_size} + 3) / 4 * 4")
endwhile()

if(found STREQUAL "")
  message(FATAL_ERROR "${RES} holds no version resource")
endif()

string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${found}")
string(REPEAT "0x[0-9a-f][0-9a-f]," 16 row)  # sixteen bytes a line
string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUT}.tmp" "// Generated from ${RES} by cmake/VersionSection.cmake: do not edit.
// The program's version block, in the section where its own version reader finds it.
alignas(4) __attribute__((section(\".vsversioninfo\"), used)) extern const unsigned char kXpVersionBlock[] = {
    ${bytes}
};
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
