// The window's own texts in the language chosen at the start.
#pragma once

#include <QString>

#include <string_view>

#include "app/translation.h"

namespace pagerake::gui {

inline QString Ui(std::string_view text) { return QString::fromStdString(Tr(text)); }

}  // namespace pagerake::gui
