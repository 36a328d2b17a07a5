# cmake -DIN=<file> -DOUT=<file.cpp> -DNAME=<symbol> -DSIZE=<bytes> -P embed.cmake
# Turns one box program into a C++ byte array, after checking its length: the
# box's boot code and the model table depend on the exact size.
file(SIZE "${IN}" actual)
if(NOT actual EQUAL SIZE)
  message(FATAL_ERROR "Loader image ${IN} has ${actual} bytes, but the model table needs exactly ${SIZE}. "
                      "Put the right image there (see boot/loaders/make-standins.sh for the stand-ins).")
endif()
file(READ "${IN}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}.tmp" "// Generated from ${IN}; do not edit.\n#include <cstddef>\nextern const unsigned char ${NAME}[] = {\n${bytes}\n};\nextern const std::size_t ${NAME}_size = sizeof(${NAME});\n")
file(RENAME "${OUT}.tmp" "${OUT}")
