# Turns a file into a C++ function returning its bytes, so the server needs no data files at run
# time. Usage: cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=Name -P embed.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Short lines keep compiler diagnostics and diffs of the generated file readable.
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
get_filename_component(source_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${source_name} by embed.cmake.
#include \"sample-site/embedded.h\"

namespace vennadar::sample_site::embedded {

std::string_view ${FUNCTION}() {
    static const unsigned char kBytes[${size}] = {
${bytes}
    };
    return {reinterpret_cast<const char*>(kBytes), sizeof kBytes};
}

}  // namespace vennadar::sample_site::embedded
")
# Only touch the output when it changed, so an unrelated rebuild recompiles nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
