#include "source/compiled_catalog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace pagerake {
namespace {

// A catalog as msgfmt lays it out: the header, the two tables, then the texts with their zeros.
std::string Compile(const std::vector<std::pair<std::string, std::string>>& entries, bool bigEndian) {
  std::string out;
  const auto word = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out += char(v >> (bigEndian ? 24 - 8 * i : 8 * i));
  };
  const uint32_t n = uint32_t(entries.size());
  uint32_t at = 28 + 16 * n;
  word(0x950412de), word(0), word(n), word(28), word(28 + 8 * n), word(0), word(0);
  std::string texts;
  for (int table = 0; table < 2; ++table) {
    for (const auto& entry : entries) {
      const std::string& s = table == 0 ? entry.first : entry.second;
      word(uint32_t(s.size())), word(at + uint32_t(texts.size()));
      texts += s + '\0';
    }
  }
  return out + texts;
}

TEST(CompiledCatalog, FindsTextsInEitherByteOrderAndRefusesDamagedBytes) {
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"", "Content-Type: text/plain; charset=UTF-8\n"},
      {"missing page %d", "缺少页面%d"},
      {"check finished", "检测完毕"},
      {"not yet", ""},
  };
  for (const bool bigEndian : {false, true}) {
    const std::string bytes = Compile(entries, bigEndian);
    const std::optional<CompiledCatalog> catalog = CompiledCatalog::Read(bytes);
    ASSERT_TRUE(catalog) << bigEndian;
    EXPECT_STREQ(catalog->Find("missing page %d"), "缺少页面%d");
    EXPECT_STREQ(catalog->Find("check finished"), "检测完毕");
    EXPECT_EQ(catalog->Find("not yet"), nullptr);
    EXPECT_EQ(catalog->Find(""), nullptr);
    EXPECT_EQ(catalog->Find("check"), nullptr);
    // Cut anywhere, the last text loses its zero or a table its end: nothing is read past them.
    for (size_t length = 0; length < bytes.size(); ++length) {
      EXPECT_FALSE(CompiledCatalog::Read(bytes.substr(0, length))) << length;
    }
  }
  std::string wild = Compile(entries, false);
  wild[8] = '\xff', wild[11] = '\x7f';  // a count no file of this size holds
  EXPECT_FALSE(CompiledCatalog::Read(wild));
  wild = Compile(entries, false);
  wild[32] = '\xf0';  // the second key's offset past the end
  EXPECT_FALSE(CompiledCatalog::Read(wild));
  EXPECT_FALSE(CompiledCatalog::Read(std::string(64, 'x')));
}

TEST(CompiledCatalog, ReadsWhatMsgfmtMadeOfTheProgramsCatalogs) {
  std::ifstream in(PAGERAKE_BUILD_LOCALE_DIR "/zh_CN/LC_MESSAGES/pagerake.mo", std::ios::binary);
  ASSERT_TRUE(in);
  const std::optional<CompiledCatalog> catalog =
      CompiledCatalog::Read(std::string(std::istreambuf_iterator<char>(in), {}));
  ASSERT_TRUE(catalog);
  EXPECT_GT(catalog->size(), 200u);
  EXPECT_STREQ(catalog->Find("Usage"), "用法");
  EXPECT_STREQ(catalog->Find("SUBCOMMANDS"), "子命令");
}

}  // namespace
}  // namespace pagerake
