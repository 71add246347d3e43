# Writes OUTPUT, a C++ source holding the bytes of each compiled catalog in MO_FILES under the
# language at the same place in LANGUAGES, for source/embedded_catalogs.h.
#   cmake -DOUTPUT=f.cpp "-DLANGUAGES=en;zh_CN" "-DMO_FILES=en.mo;zh_CN.mo" -P EmbedCatalogs.cmake
list(LENGTH LANGUAGES count)
math(EXPR last "${count} - 1")
set(arrays "")
set(choices "")
foreach(i RANGE ${last})
  list(GET LANGUAGES ${i} language)
  list(GET MO_FILES ${i} mo)
  file(READ ${mo} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "constexpr unsigned char kCatalog${i}[] = {\n    ${bytes}};\n")
  string(APPEND choices "  if (language == \"${language}\") {\n"
         "    return {reinterpret_cast<const char*>(kCatalog${i}), sizeof kCatalog${i}};\n  }\n")
endforeach()
file(WRITE ${OUTPUT}.new "// Made by cmake/EmbedCatalogs.cmake from the compiled po/ catalogs.
#include \"source/embedded_catalogs.h\"

namespace pagerake {
namespace {
${arrays}}  // namespace

std::string_view EmbeddedCatalog(std::string_view language) {
${choices}  return {};
}

}  // namespace pagerake
")
file(RENAME ${OUTPUT}.new ${OUTPUT})
