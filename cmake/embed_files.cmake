# Writes OUTPUT, a C++ file that holds each of FILES (a ;-list) as a byte array,
# so the program carries the web viewer and needs no data folder at run time.
# Usage: cmake -DOUTPUT=... -DNAMESPACE=... -DFILES="name=path;..." -P embed_files.cmake
set(body "// Generated from the files in third_party/ by cmake/embed_files.cmake; do not edit.\n")
string(APPEND body "#include <cstddef>\n\nnamespace ${NAMESPACE} {\n")
foreach(entry IN LISTS FILES)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 symbol)
    list(GET pair 1 path)
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" hexLength)
    math(EXPR size "${hexLength} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    # A line break every 32 bytes keeps the file readable by editors.
    string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
    string(APPEND body "extern const unsigned char ${symbol}[] = {\n${bytes}0};\n")
    string(APPEND body "extern const std::size_t ${symbol}Size = ${size};\n")
endforeach()
string(APPEND body "}  // namespace ${NAMESPACE}\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
