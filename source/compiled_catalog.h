// A compiled message catalog (the .mo files msgfmt writes) read from memory, for the builds whose
// system has no gettext: the Windows program carries its catalogs inside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagerake {

class CompiledCatalog {
 public:
  // Reads a catalog in either byte order. Nothing when the bytes are not a whole, sound catalog:
  // a bad magic number, a count or an offset outside the bytes, or a text without its ending zero.
  static std::optional<CompiledCatalog> Read(std::string bytes);

  // The translation of `msgid`, or nullptr where the catalog has none (or an empty one).
  const char* Find(std::string_view msgid) const;

  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    uint32_t keyOffset;
    uint32_t keyLength;
    uint32_t textOffset;
  };
  std::string_view Key(const Entry& entry) const {
    return std::string_view(bytes_).substr(entry.keyOffset, entry.keyLength);
  }

  std::string bytes_;
  std::vector<Entry> entries_;  // sorted by key
};

}  // namespace pagerake
