// The page tests and helpers against real database files.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"

namespace pagerake {
namespace {

struct CorpusFact {
  std::string recordedName;
  int unprotectedPages;  // genuine pages written without protection
  int protectedPages;    // genuine pages with torn bits or a checksum
};

const std::map<std::string, CorpusFact>& Manifest() {
  static const std::map<std::string, CorpusFact> facts = {
      {"r01.mdf", {"c:\\Program Files\\Microsoft SQL Server\\MSSQL10_50.SQLEXPRESS\\MSSQL\\DATA\\NORTHWND.mdf", 5, 405}},
      {"r02.mdf", {"D:\\Web Projects 4.0\\SessionShoppingCart\\SessionShoppingCart\\App_Data\\NORTHWND.mdf", 7, 402}},
      {"r03.mdf", {"C:\\RahulSingh\\TestProjects\\AdoNetTestApplication\\App_Data\\PUBS.mdf", 3, 240}},
      {"r04.mdf", {"D:\\WebApplication3\\App_Data\\Database1.mdf", 3, 169}},
      {"r05.mdf", {"E:\\git\\InternetShop\\App_Data\\Database1.mdf", 4, 174}},
      {"r06.mdf", {"C:\\dbs\\northwnd.mdf", 3, 376}},
      {"r07.mdf", {"C:\\Users\\kdoebler\\Dropbox\\Projects\\TriviaGame\\Database1.mdf", 4, 158}},
      {"r08.mdf", {"C:\\Users\\Irina.B\\Desktop\\DAW\\Laborator\\engine_stiri_1\\engine_stiri_1\\App_Data\\Database.mdf", 3, 225}},
      {"r09.mdf", {"C:\\Program Files\\Microsoft SQL Server\\MSSQL10.MSSQLSERVER\\MSSQL\\DATA\\QLSinhVien.mdf", 4, 179}},
      {"r10.mdf", {"C:\\Users\\Janell\\Documents\\Josette\\PROJECT - Copy\\ybarfemos 12 1 13\\ynares 8-24-12 2.47pm\\YBAROS\\App_Data\\YnaresDatabase.mdf", 3, 200}},
      {"r11.mdf", {"F:\\MVC Learnng\\AngularCRUD\\AngularCRUD\\App_Data\\Database1.mdf", 3, 269}},
      {"r12.mdf", {"C:\\Users\\chewitt\\Documents\\Visual Studio 2012\\WebSites\\WebSite1\\App_Data\\Database.mdf", 4, 236}},
      {"r13.mdf", {"C:\\Program Files\\IMS\\Database.mdf", 93, 211}},
      {"r14.mdf", {"C:\\Users\\User\\Documents\\Visual Studio 2015\\Projects\\Rozdział10\\New\\To_Do_List\\To_Do_List\\Database.mdf", 2, 269}},
      {"r15.mdf", {"E:\\ThuchanhWeb\\WebBanHang123\\WebBanHang\\App_Data\\Database1.mdf", 2, 323}},
      {"r16.mdf", {"C:\\Users\\Ян\\Desktop\\WebForms\\App_Data\\Database1.mdf", 2, 321}},
  };
  return facts;
}

TEST(CorpusPages, FirstPagesSizeAndRecordedName) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const auto& path : testing::CorpusFiles()) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    ASSERT_EQ(file.size() % kPageSize, 0u);
    ASSERT_GT(file.size(), 33u * kPageSize);
    uint8_t* page0 = file.data();
    uint8_t* page1 = file.data() + kPageSize;
    uint8_t* page32 = file.data() + 32 * kPageSize;

    int16_t fileId = -1;
    EXPECT_TRUE(IsFileHeaderPage(page0, fileId));
    EXPECT_EQ(fileId, 1);
    EXPECT_TRUE(IsPfsPage(page1, fileId));

    RestoreTornBits(page0);
    RestoreTornBits(page32);
    EXPECT_EQ(ReadFileSizePages(page0), static_cast<int32_t>(file.size() / kPageSize));
    const auto fact = Manifest().find(name);
    ASSERT_NE(fact, Manifest().end()) << "file not in the manifest table";
    EXPECT_EQ(ReadRecordedFileName(page32), fact->second.recordedName);
  }
}

// Genuine pages (version 1, own page id at its position, file id 1) verify exactly when they carry
// protection; zero pages verify; the junk blocks inside some files never do.
TEST(CorpusPages, VerifyPageAgreesOnEveryPage) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const auto& path : testing::CorpusFiles()) {
    const std::string name = path.filename().string();
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    int unprotected = 0, protectedPages = 0;
    for (size_t pos = 0; pos < file.size() / kPageSize; ++pos) {
      const uint8_t* page = file.data() + pos * kPageSize;
      if (IsZeroPage(page)) {
        EXPECT_TRUE(VerifyPage(page));
        continue;
      }
      const bool genuine = page[0] == 1 && LoadLe32(page + 32) == pos && LoadLe16(page + 36) == 1;
      if (!genuine) {
        EXPECT_FALSE(VerifyPage(page)) << "junk block at " << pos;
        continue;
      }
      const PageProtection mode = ProtectionOf(page);
      const bool isProtected = mode == PageProtection::kTornBits || mode == PageProtection::kChecksum;
      (isProtected ? protectedPages : unprotected)++;
      EXPECT_EQ(VerifyPage(page), isProtected) << "page " << pos;
    }
    const CorpusFact& fact = Manifest().at(name);
    EXPECT_EQ(unprotected, fact.unprotectedPages);
    EXPECT_EQ(protectedPages, fact.protectedPages);
  }
}

// Every genuine page other than 0 is plausible and continues the page before it.
TEST(CorpusPages, GenuinePagesPassThePlausibilityTests) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const auto& path : testing::CorpusFiles()) {
    SCOPED_TRACE(path.filename().string());
    const std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    for (size_t pos = 1; pos < file.size() / kPageSize; ++pos) {
      const uint8_t* page = file.data() + pos * kPageSize;
      if (page[0] != 1 || LoadLe32(page + 32) != pos) continue;
      int16_t fileId = 0;
      EXPECT_TRUE(IsPlausiblePage(page, PlausibleMode::kTakeFileId, fileId)) << pos;
      EXPECT_TRUE(IsNextPage(page, static_cast<int32_t>(pos), 1)) << pos;
    }
  }
}

}  // namespace
}  // namespace pagerake
