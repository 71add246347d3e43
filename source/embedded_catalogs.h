// The compiled catalogs built into the Windows program: the build compiles each po/<language>.po
// with msgfmt and writes its bytes into a generated source (cmake/EmbedCatalogs.cmake).
#pragma once

#include <string_view>

namespace pagerake {

// The compiled catalog of `language` ("en", "zh_CN"); empty when the program carries none.
std::string_view EmbeddedCatalog(std::string_view language);

}  // namespace pagerake
