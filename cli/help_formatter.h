// The command line's own texts in the language chosen at start-up. Its help: CLI11 lays it out,
// and this formatter passes the descriptions, the section names and CLI11's fixed words through
// Tr(); the option names, the usage line's names and the value types stay as they are. Its
// reports: printf formats taken from Tr() and filled, and labels padded by the columns a terminal
// gives them.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace pagerake::cli {

class HelpFormatter : public CLI::Formatter {
 public:
  HelpFormatter();

  std::string make_group(std::string group, bool is_positional,
                         std::vector<const CLI::Option*> opts) const override;
  std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override;
  std::string make_subcommand(const CLI::App* sub) const override;
  std::string make_description(const CLI::App* app) const override;
  std::string make_footer(const CLI::App* app) const override;
  std::string make_option(const CLI::Option* opt, bool is_positional) const override;
  std::string make_option_desc(const CLI::Option* opt) const override;
};

// Gives `app` the formatter above and a failure message in the language chosen. Called before
// any subcommand is added: a subcommand takes both from its parent when it is made.
void UseChosenLanguage(CLI::App& app);

// `format` (a printf format, as a rule from Tr()) filled with `args`.
template <typename... Args>
std::string Format(const std::string& format, Args... args) {
  const int size = std::snprintf(nullptr, 0, format.c_str(), args...);
  if (size < 0) return format;
  std::string out(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(out.data(), out.size(), format.c_str(), args...);
  out.resize(static_cast<size_t>(size));
  return out;
}

// Columns a UTF-8 text takes on a terminal: a CJK character takes two.
size_t DisplayWidth(std::string_view text);

// `text` followed by spaces up to `width` columns (as printf's %-Ns does for ASCII).
std::string PadRight(const std::string& text, size_t width);

}  // namespace pagerake::cli
