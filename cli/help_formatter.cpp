#include "cli/help_formatter.h"

#include <algorithm>
#include <memory>

#include "app/translation.h"

namespace pagerake::cli {
namespace {

// CLI::detail::format_help, with the name's column measured as the terminal shows it: a
// translated word in it (必需) takes two columns a character, not three bytes.
std::string HelpLine(const std::string& name, const std::string& description, size_t width) {
  std::string out = PadRight("  " + name, width);
  if (!description.empty()) {
    if (DisplayWidth("  " + name) >= width) out += "\n" + std::string(width, ' ');
    for (const char c : description) {
      out += c;
      if (c == '\n') out += std::string(width, ' ');
    }
  }
  return out + "\n";
}

}  // namespace

HelpFormatter::HelpFormatter() {
  // CLI11's own words: the usage line's, the positionals' heading and the options' notes.
  for (const char* word : {"Usage", "OPTIONS", "SUBCOMMAND", "SUBCOMMANDS", "Positionals",
                           "REQUIRED", "Needs", "Excludes"}) {
    label(word, Tr(word));
  }
}

std::string HelpFormatter::make_group(std::string group, bool is_positional,
                                      std::vector<const CLI::Option*> opts) const {
  return CLI::Formatter::make_group(Tr(group), is_positional, std::move(opts));
}

std::string HelpFormatter::make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const {
  std::string out = CLI::Formatter::make_subcommands(app, mode);
  // Each group of subcommands opens with its name on a line of its own ("\nSubcommands:\n").
  std::vector<std::string> groups;
  for (const CLI::App* sub : app->get_subcommands({})) {
    const std::string& group = sub->get_group();
    if (!group.empty() && std::find(groups.begin(), groups.end(), group) == groups.end()) {
      groups.push_back(group);
    }
  }
  for (const std::string& group : groups) {
    const std::string heading = "\n" + group + ":\n";
    const size_t at = out.find(heading);
    if (at != std::string::npos) out.replace(at, heading.size(), "\n" + Tr(group) + ":\n");
  }
  return out;
}

std::string HelpFormatter::make_subcommand(const CLI::App* sub) const {
  return HelpLine(sub->get_display_name(true), Tr(sub->get_description()), column_width_);
}

std::string HelpFormatter::make_option(const CLI::Option* opt, bool is_positional) const {
  return HelpLine(make_option_name(opt, is_positional) + make_option_opts(opt),
                  make_option_desc(opt), column_width_);
}

std::string HelpFormatter::make_description(const CLI::App* app) const {
  return Tr(CLI::Formatter::make_description(app));
}

std::string HelpFormatter::make_footer(const CLI::App* app) const {
  return Tr(CLI::Formatter::make_footer(app));
}

std::string HelpFormatter::make_option_desc(const CLI::Option* opt) const {
  return Tr(opt->get_description());
}

void UseChosenLanguage(CLI::App& app) {
  app.formatter(std::make_shared<HelpFormatter>());
  // The parser's message and its "Run with --help …" line, each looked up as a line.
  app.failure_message([](const CLI::App* a, const CLI::Error& e) {
    return Tr(CLI::FailureMessage::simple(a, e));
  });
}

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    width += length >= 3 ? 2 : 1;
    i += length;
  }
  return width;
}

std::string PadRight(const std::string& text, size_t width) {
  return text + std::string(width - std::min(width, DisplayWidth(text)), ' ');
}

}  // namespace pagerake::cli
