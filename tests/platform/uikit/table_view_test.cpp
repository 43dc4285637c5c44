#include <gtest/gtest.h>

#include "platform/uikit/screen_description.h"
#include "tests/platform/uikit/ui_fixture.h"

namespace platform::uitest {
namespace {

class TableViewTest : public UITest {
 protected:
  TableViewTest() : list(scene<ListScreen>("List")), table(list->table.lock()) {}

  std::string nameAt(int row) {
    auto cell = std::dynamic_pointer_cast<FixtureCell>(table->cellForRowAtIndexPath({0, row}));
    return cell ? cell->nameLabel.lock()->text().value_or("") : "(none)";
  }

  std::shared_ptr<ListScreen> list;
  std::shared_ptr<UITableView> table;
};

TEST_F(TableViewTest, ReloadAsksForEverythingAndConfiguresTheVisibleCells) {
  EXPECT_EQ(table->numberOfSections(), 0);
  table->reloadData();
  EXPECT_EQ(table->reloadCount(), 1);
  EXPECT_EQ(table->numberOfSections(), 1);
  EXPECT_EQ(table->numberOfRowsInSection(0), 3);
  EXPECT_EQ(table->heightForRow({0, 2}), 42);
  EXPECT_EQ(table->heightForHeader(0), 30);
  EXPECT_EQ(table->heightForFooter(0), 28);  // the table's own when the delegate says nothing
  EXPECT_EQ(table->headerViewForSection(0), nullptr);
  EXPECT_NE(table->footerViewForSection(0), nullptr);
  EXPECT_EQ(nameAt(0), "Paris");
  EXPECT_EQ(nameAt(2), "Lima");
  EXPECT_EQ(nameAt(3), "(none)");
  EXPECT_EQ(describeView(*table),
            "UITableView#table\n"
            "  FixtureCell\n    UILabel#name \"Paris\"\n"
            "  FixtureCell\n    UILabel#name \"Tokyo\"\n"
            "  FixtureCell\n    UILabel#name \"Lima\"\n"
            "  UIView\n");
}

TEST_F(TableViewTest, AReloadReusesTheCellsItHad) {
  table->reloadData();
  auto first = std::dynamic_pointer_cast<FixtureCell>(table->cellForRowAtIndexPath({0, 0}));
  list->names = {"Oslo", "Rome"};
  table->reloadData();
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 0}), first);
  EXPECT_EQ(first->reuses, 1);
  EXPECT_EQ(nameAt(0), "Oslo");
  EXPECT_EQ(nameAt(2), "(none)");
  EXPECT_EQ(testing::pooledCellCount(*table, "Row"), 1u);  // the third row's cell waits for reuse
  list->names = {"Oslo", "Rome", "Bern", "Kyiv"};
  table->reloadData();
  EXPECT_EQ(testing::pooledCellCount(*table, "Row"), 0u);
  EXPECT_EQ(nameAt(3), "Kyiv");
}

TEST_F(TableViewTest, RowsOutOfSightHaveNoCell) {
  testing::setRowVisible(*table, {0, 1}, false);
  table->reloadData();
  EXPECT_EQ(table->cellForRowAtIndexPath({0, 1}), nullptr);
  EXPECT_EQ(table->indexPathsForVisibleRows(), (std::vector<NSIndexPath>{{0, 0}, {0, 2}}));
  testing::setRowVisible(*table, {0, 1}, true);
  table->reloadData();
  EXPECT_EQ(nameAt(1), "Tokyo");
}

TEST_F(TableViewTest, TappingARowSelectsItThenTellsTheDelegate) {
  table->reloadData();
  testing::tapRow(*table, {0, 1});
  EXPECT_EQ(list->selected, std::vector<int>{1});
  EXPECT_EQ(testing::deselections(*table), (std::vector<std::pair<NSIndexPath, bool>>{{{0, 1}, true}}));
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
  EXPECT_FALSE(table->cellForRowAtIndexPath({0, 1})->isSelected());
}

TEST_F(TableViewTest, DataSourceAndDelegateAreHeldWeakly) {
  std::weak_ptr<ListScreen> gone = list;
  auto keep = table;
  list.reset();
  EXPECT_TRUE(gone.expired());
  EXPECT_EQ(keep->dataSource(), nullptr);
  keep->reloadData();  // no data source: nothing to show
  EXPECT_EQ(keep->numberOfSections(), 0);
}

}  // namespace
}  // namespace platform::uitest
