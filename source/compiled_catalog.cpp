#include "source/compiled_catalog.h"

#include <algorithm>

namespace pagerake {
namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr uint32_t kSwappedMagic = 0xde120495;

class Reader {
 public:
  Reader(std::string_view bytes, bool swapped) : bytes_(bytes), swapped_(swapped) {}

  std::optional<uint32_t> Word(uint64_t offset) const {
    if (offset + 4 > bytes_.size()) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + offset);
    if (swapped_) return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }

  // The text described by the (length, offset) pair at `descriptor`, checked to lie within the
  // bytes and to end in a zero; its offset and length up to the first zero (a plural form's
  // variants follow that one).
  std::optional<std::pair<uint32_t, uint32_t>> Text(uint64_t descriptor) const {
    const std::optional<uint32_t> length = Word(descriptor);
    const std::optional<uint32_t> offset = Word(descriptor + 4);
    if (!length || !offset || uint64_t{*offset} + *length >= bytes_.size()) return std::nullopt;
    if (bytes_[*offset + *length] != '\0') return std::nullopt;
    const size_t first = std::string_view(bytes_.data() + *offset, *length).find('\0');
    return std::pair(*offset, first == std::string_view::npos ? *length : uint32_t(first));
  }

 private:
  std::string_view bytes_;
  bool swapped_;
};

}  // namespace

std::optional<CompiledCatalog> CompiledCatalog::Read(std::string bytes) {
  if (bytes.size() < 20) return std::nullopt;
  const uint32_t little = Reader(bytes, false).Word(0).value_or(0);
  if (little != kMagic && little != kSwappedMagic) return std::nullopt;
  const Reader reader(bytes, little == kSwappedMagic);
  const std::optional<uint32_t> count = reader.Word(8);
  const std::optional<uint32_t> keys = reader.Word(12);
  const std::optional<uint32_t> texts = reader.Word(16);
  if (!count || !keys || !texts) return std::nullopt;
  // Each entry takes 8 bytes in each table: a count the bytes cannot hold is not believed.
  if (uint64_t{*count} * 8 > bytes.size()) return std::nullopt;

  CompiledCatalog catalog;
  for (uint32_t i = 0; i < *count; ++i) {
    const auto key = reader.Text(*keys + uint64_t{i} * 8);
    const auto text = reader.Text(*texts + uint64_t{i} * 8);
    if (!key || !text) return std::nullopt;
    // The header (the empty key) and untranslated entries give nothing to look up.
    if (key->second == 0 || text->second == 0) continue;
    catalog.entries_.push_back({key->first, key->second, text->first});
  }
  catalog.bytes_ = std::move(bytes);
  std::sort(catalog.entries_.begin(), catalog.entries_.end(),
            [&](const Entry& a, const Entry& b) { return catalog.Key(a) < catalog.Key(b); });
  return catalog;
}

const char* CompiledCatalog::Find(std::string_view msgid) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), msgid,
                                   [&](const Entry& e, std::string_view id) { return Key(e) < id; });
  if (it == entries_.end() || Key(*it) != msgid) return nullptr;
  return bytes_.data() + it->textOffset;
}

}  // namespace pagerake
