#include "app/translation.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace pagerake {
namespace {

const std::map<std::string, std::string> kCatalog = {
    {"检测完毕", "check finished"},
    {"缺少页面%d", "missing page %d"},
    {"找到碎片号%d的页面%d-%d", "fragment %d: pages %d-%d"},
    {"%d页在接缝处修复后通过校验", "page %d mended at the seam"},
    {"重叠页面%d-%d,已取前面碎片的页面", "pages %2$d back to %1$d overlap"},
    {"进度%d%%", "%d%% done"},
    {"坏的%d", "broken %1$"},
    {"无法打开数据源: %s", "cannot open the data source: %s"},
    {"", "Project-Id-Version: the catalog's header"},
    {"%s pages", "%s 页"},
    {"%s proven", "已证实 %s"},
};

std::string T(const std::string& text) {
  return TranslateWith(text, [](const char* id) -> const char* {
    const auto it = kCatalog.find(id);
    return it == kCatalog.end() ? nullptr : it->second.c_str();
  });
}

TEST(Translation, TextsAreFoundByTheirShapeAndKeepTheirNumbersAndNames) {
  EXPECT_EQ(T("检测完毕"), "check finished");
  EXPECT_EQ(T("缺少页面233"), "missing page 233");
  EXPECT_EQ(T("找到碎片号7的页面290-299"), "fragment 7: pages 290-299");
  EXPECT_EQ(T("0页在接缝处修复后通过校验"), "page 0 mended at the seam");
  EXPECT_EQ(T("重叠页面12-40,已取前面碎片的页面"), "pages 40 back to 12 overlap");
  EXPECT_EQ(T("进度50%"), "50% done");
  EXPECT_EQ(T("坏的7"), "broken %1$");  // a catalog's slip is shown as it stands, read no further
  // A name with digits in it is matched by the template, not by the shape.
  EXPECT_EQ(T("无法打开数据源: /mnt/disk2 (副本).img"),
            "cannot open the data source: /mnt/disk2 (副本).img");
  // Line by line; what the catalog does not hold stays as written.
  EXPECT_EQ(T("检测完毕\n缺少页面5\n未知的话3\n"), "check finished\nmissing page 5\n未知的话3\n");
  EXPECT_EQ(T("缺少页面"), "缺少页面");
  EXPECT_EQ(T("缺少页面x1"), "缺少页面x1");
  EXPECT_EQ(T(""), "");
  // A line made of parts, part by part; a grouped number is one number.
  EXPECT_EQ(T("1,234 pages: 5 proven, 2 zero"), "1,234 页: 已证实 5, 2 zero");
  // An empty part (after a closing bracket) is no lookup of the catalog's header.
  EXPECT_EQ(T("序号  碎片大小(KB)  备注"), "序号  碎片大小(KB)  备注");
  EXPECT_EQ(T("x (3 proven)"), "x (已证实 3)");
}

TEST(Translation, TheLanguageFollowsTheUsualVariablesAndTheFlag) {
  struct Case {
    std::map<std::string, std::string> env;
    Language want;
  };
  const Case cases[] = {
      {{}, Language::kEnglish},
      {{{"LANG", "C"}}, Language::kEnglish},
      {{{"LANG", "C.UTF-8"}}, Language::kEnglish},
      {{{"LANG", "zh_CN.UTF-8"}}, Language::kChinese},
      {{{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", "en_US.UTF-8"}}, Language::kEnglish},
      {{{"LANG", "C"}, {"LC_MESSAGES", "zh_TW.UTF-8"}}, Language::kChinese},
      {{{"LANG", "C"}, {"LANGUAGE", "zh_CN:en"}}, Language::kChinese},
      {{{"LANG", "zh_CN.UTF-8"}, {"LANGUAGE", ""}}, Language::kChinese},
  };
  for (const Case& c : cases) {
    const Language got = LanguageOfEnvironment([&](const char* name) -> const char* {
      const auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(got, c.want) << c.env.size();
  }
  // Windows' display language speaks where no variable does, and only there.
  const auto none = [](const char*) -> const char* { return nullptr; };
  const auto english = [](const char* name) -> const char* {
    return std::string_view(name) == "LANG" ? "en_US.UTF-8" : nullptr;
  };
  EXPECT_EQ(LanguageOfEnvironment(none, "zh"), Language::kChinese);
  EXPECT_EQ(LanguageOfEnvironment(none, "fr"), Language::kEnglish);
  EXPECT_EQ(LanguageOfEnvironment(english, "zh"), Language::kEnglish);
  EXPECT_EQ(ParseLanguage("zh"), Language::kChinese);
  EXPECT_EQ(ParseLanguage("en"), Language::kEnglish);
  EXPECT_FALSE(ParseLanguage("de").has_value());
  const char* const withFlag[] = {"pagerake-cli", "recover", "x.img", "--lang", "zh"};
  EXPECT_EQ(LanguageOfCommandLine(5, withFlag), Language::kChinese);
  const char* const withEquals[] = {"pagerake-cli", "--lang=en", "recover"};
  EXPECT_EQ(LanguageOfCommandLine(3, withEquals), Language::kEnglish);
}

}  // namespace
}  // namespace pagerake
