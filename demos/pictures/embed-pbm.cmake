# Turns one binary PBM (P4) file into a C++ source file that defines a
# RasterPicture (demos/pictures.h) over a constant array of its pixel bytes.
# The P4 payload is already the controller's raster layout, so the bytes are
# copied as they stand.
#
#   cmake -DINPUT=<file.pbm> -DOUTPUT=<file.cpp> -DSYMBOL=<C++ name>
#         -DWIDTH=<dots> -DHEIGHT=<rows> -P embed-pbm.cmake
#
# Fails when the file is not a P4 PBM, when its size differs from WIDTH x
# HEIGHT, or when its pixel data is cut short or followed by more bytes.

foreach(var INPUT OUTPUT SYMBOL WIDTH HEIGHT)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
        message(FATAL_ERROR "embed-pbm.cmake: ${var} is not set")
    endif()
endforeach()

if(NOT EXISTS "${INPUT}")
    message(FATAL_ERROR "embed-pbm.cmake: ${INPUT} does not exist")
endif()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR fileSize "${hexLength} / 2")

string(SUBSTRING "${hex}" 0 4 magic)
if(NOT magic STREQUAL "5034")
    message(FATAL_ERROR "${INPUT}: not a binary PBM file (it does not start with \"P4\")")
endif()

# Header after the magic: whitespace, comments from '#' to the end of the
# line, the width and the height in decimal; one whitespace byte ends it.
set(numbers "")
set(number "")
set(inComment FALSE)
set(position 2)
set(payloadStart -1)
while(payloadStart LESS 0)
    if(position GREATER_EQUAL fileSize OR position GREATER 1000)
        message(FATAL_ERROR "${INPUT}: PBM header is cut short or malformed")
    endif()
    math(EXPR offset "${position} * 2")
    string(SUBSTRING "${hex}" ${offset} 2 byte)
    if(inComment)
        if(byte STREQUAL "0a" OR byte STREQUAL "0d")
            set(inComment FALSE)
        endif()
    elseif(byte MATCHES "^(09|0a|0b|0c|0d|20)$")
        if(NOT number STREQUAL "")
            list(APPEND numbers ${number})
            set(number "")
            list(LENGTH numbers count)
            if(count EQUAL 2)
                math(EXPR payloadStart "${position} + 1")
            endif()
        endif()
    elseif(byte STREQUAL "23" AND number STREQUAL "")
        set(inComment TRUE)
    elseif(byte MATCHES "^3[0-9]$")
        string(SUBSTRING "${byte}" 1 1 digit)
        string(APPEND number "${digit}")
    else()
        message(FATAL_ERROR "${INPUT}: unexpected byte 0x${byte} in the PBM header")
    endif()
    math(EXPR position "${position} + 1")
endwhile()

list(GET numbers 0 width)
list(GET numbers 1 height)
if(NOT width EQUAL WIDTH OR NOT height EQUAL HEIGHT)
    message(FATAL_ERROR "${INPUT}: the picture is ${width} x ${height} dots, "
                        "but ${SYMBOL} must be ${WIDTH} x ${HEIGHT} dots")
endif()

math(EXPR bytesPerRow "(${width} + 7) / 8")
math(EXPR payloadSize "${bytesPerRow} * ${height}")
math(EXPR actualSize "${fileSize} - ${payloadStart}")
if(NOT actualSize EQUAL payloadSize)
    message(FATAL_ERROR "${INPUT}: ${actualSize} bytes of pixel data, expected ${payloadSize} "
                        "(${bytesPerRow} bytes per row, ${height} rows)")
endif()

# One source line per picture row: "0x12, 0x34, ...".
math(EXPR payloadOffset "${payloadStart} * 2")
string(SUBSTRING "${hex}" ${payloadOffset} -1 payload)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " payload "${payload}")
math(EXPR rowChars "${bytesPerRow} * 6")
set(rows "")
string(LENGTH "${payload}" payloadChars)
set(start 0)
while(start LESS payloadChars)
    string(SUBSTRING "${payload}" ${start} ${rowChars} row)
    string(STRIP "${row}" row)
    string(APPEND rows "    ${row}\n")
    math(EXPR start "${start} + ${rowChars}")
endwhile()

get_filename_component(inputName "${INPUT}" NAME)
set(content "// Generated at build time from ${inputName} by embed-pbm.cmake; do not edit.

#include \"demos/pictures.h\"

namespace {

const uint8_t pixels[${payloadSize}] = {
${rows}};

} // namespace

// ${width} x ${height} dots
const RasterPicture ${SYMBOL} = {pixels, ${bytesPerRow}, ${height}};
")

file(WRITE "${OUTPUT}" "${content}")
