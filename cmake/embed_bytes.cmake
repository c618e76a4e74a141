# Script mode: writes OUTPUT, a C++ source holding the bytes of INPUT as SYMBOL in namespace NS.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_len)
math(EXPR size "${hex_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}"
"// Generated from ${INPUT}; do not edit.\n"
"namespace ${NS} {\n"
"extern const unsigned char ${SYMBOL}[];\n"
"extern const unsigned ${SYMBOL}_size;\n"
"const unsigned char ${SYMBOL}[] = {\n  ${bytes}\n};\n"
"const unsigned ${SYMBOL}_size = ${size};\n"
"}  // namespace ${NS}\n")
