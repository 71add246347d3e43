#include "fragments/option_text.h"

#include <charconv>

namespace pagerake {

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::optional<int32_t> ParseInt32Text(std::string_view text) {
  text = TrimSpaces(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  int32_t value = 0;
  const char* last = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

std::string NotANumberMessage(std::string_view caption, std::string_view text) {
  std::string message = "“";
  message += caption;
  message += "” 中的内容不是数字: ";
  message += text;
  return message;
}

}  // namespace pagerake
