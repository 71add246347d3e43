// Numbers typed into the option edits of the fragment list tab (auto-check ranges, filter
// bounds, sectors per cluster), and the message that names an edit whose text is not a number.
//
// The window keeps these options as edit texts; each command reads them when it runs. A text that
// is not a number stops the command before it changes anything, with a message that says which
// edit is wrong and what it holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pagerake {

// The signed 32-bit decimal number in `text`, with surrounding spaces removed; an optional sign.
// Nothing for empty text, other characters, or a value out of range.
std::optional<int32_t> ParseInt32Text(std::string_view text);

// `text` without leading and trailing spaces.
std::string_view TrimSpaces(std::string_view text);

// The message for an edit whose text is not a number:
// “<caption>” 中的内容不是数字: <text>
std::string NotANumberMessage(std::string_view caption, std::string_view text);

}  // namespace pagerake
