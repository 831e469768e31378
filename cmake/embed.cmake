# Writes OUT: a C++ file holding the bytes of FILES (separated by "|") and
# registering them under TYPE and NAMES at start-up.
string(REPLACE "|" ";" files "${FILES}")
string(REPLACE "|" ";" names "${NAMES}")
set(body "")
set(registrations "")
set(index 0)
foreach(file IN LISTS files)
  list(GET names ${index} name)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hexlength)
  math(EXPR size "${hexlength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
  string(APPEND body "alignas(16) const unsigned char kData${index}[] = {${bytes}0};\n")
  string(APPEND registrations
    "        elo::RegisterResource(\"${TYPE}\", \"${name}\", kData${index}, ${size});\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUT} "// Generated from embedded resources; do not edit.
#include \"platform/Resources.h\"

namespace {
${body}
struct Registration {
    Registration() {
${registrations}    }
} registration;
} // namespace
")
