// The texts that carry a name, a path or a reason (not only numbers): their templates, which the
// message catalogs hold with %s for each such part (and %d for each number).
#pragma once

#include <span>

namespace pagerake {

std::span<const char* const> NamedTextTemplates();

}  // namespace pagerake
