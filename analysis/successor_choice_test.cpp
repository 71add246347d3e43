// The successor choice: which candidate a confirmation takes, cancels, the chosen row kept across
// the questions of one analysis, and saving ticked candidates.
#include "analysis/successor_choice.h"

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "tests/support/disk_image.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

FragmentTable ThreeLines() {
  FragmentTable table;
  table.Append(MakeFragmentRecord(1, 1000, 10, 0, " ", 1));
  table.Append(MakeFragmentRecord(2, 2048, 2, 10, " ", 1));
  table.Append(MakeFragmentRecord(3, 9000, 3, 10, " ", 1));
  return table;
}

TEST(SuccessorChoice, ConfirmationTakesTheFirstTickedOrTheRowClickedLast) {
  const FragmentTable table = ThreeLines();
  const PageOrderIndex order = BuildPageOrderIndex(table);
  struct Case {
    const char* what;
    std::function<void(SuccessorChoice&)> act;
    std::optional<int32_t> chosen;
  };
  const Case cases[] = {
      {"nothing ticked or clicked", [](auto& c) { c.ClickOk(); }, 1},
      {"second ticked", [](auto& c) { c.candidates[1].ticked = true, c.ClickOk(); }, 2},
      {"both ticked", [](auto& c) {
         c.candidates[0].ticked = c.candidates[1].ticked = true;
         c.ClickOk();
       }, 1},
      {"second clicked", [](auto& c) { c.ClickRow(1), c.ClickOk(); }, 2},
      {"cancel", [](auto& c) { c.ClickRow(1), c.ClickCancel(); }, std::nullopt},
      {"close box", [](auto& c) { c.Close(); }, std::nullopt},
      {"still waiting", [](auto&) {}, std::nullopt},
  };
  for (const Case& k : cases) {
    SuccessorChoice choice;
    choice.Fill(table, order, {1, 2}, 0);
    k.act(choice);
    EXPECT_EQ(choice.Chosen(), k.chosen) << k.what;
  }
  // The rows, and the chosen row kept into the next question: a confirmation without a click
  // takes the row clicked during the first one, even when this question has fewer rows.
  SuccessorChoice choice;
  choice.Fill(table, order, {1, 2}, 0);
  ASSERT_EQ(choice.candidates.size(), 2u);
  EXPECT_EQ(choice.candidates[1].number, 3);
  EXPECT_EQ(choice.candidates[1].esec, 9048);
  EXPECT_EQ(choice.lastChainedRow->number, 1);
  choice.ClickRow(1);
  choice.ClickOk();
  choice.Fill(table, order, {2, 1}, 2);
  EXPECT_EQ(choice.answer(), SuccessorChoice::kWaiting);
  choice.ClickOk();
  EXPECT_EQ(choice.Chosen(), 1);
  choice.Fill(table, order, {2}, 2);
  choice.ClickOk();
  EXPECT_EQ(choice.Chosen(), std::nullopt);  // row 1 is not one of this question's
}

TEST(SuccessorChoice, SavesTickedCandidatesAsHexFiles) {
  testing::TempDir dir;
  testing::DiskImage image(12000, 6);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
  const FragmentTable table = ThreeLines();
  SuccessorChoice choice;
  choice.Fill(table, BuildPageOrderIndex(table), {1, 2}, 0);
  choice.candidates[0].ticked = choice.candidates[1].ticked = true;
  std::filesystem::create_directories(dir.File("out"));
  testing::ScriptedHost host;
  host.folderAnswers = {std::nullopt, dir.File("out")};
  PageAccess pages;
  SaveTickedCandidates(choice, pages, source, host);  // cancelled: nothing
  EXPECT_TRUE(host.messages().empty());
  SaveTickedCandidates(choice, pages, source, host);
  EXPECT_EQ(std::filesystem::file_size(dir.File("out/2048.hex")), 16384u);
  EXPECT_EQ(std::filesystem::file_size(dir.File("out/9000.hex")), 24576u);
  EXPECT_EQ(host.messageTexts(), std::vector<std::string>{"保存完毕"});
}

}  // namespace
}  // namespace pagerake
