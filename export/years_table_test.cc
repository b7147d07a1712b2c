#include "export/years_table.h"

#include <gtest/gtest.h>

namespace rova {
namespace {

TEST(YearsTable, OneRowPerYearAndAColumnPerFilter) {
  const std::vector<CompositeFilter> filters{{25, 2, 1}, {12.5, 3, 2}};
  std::vector<SiteYear> years(2);
  years[0] = {1850, 4, 1, 0, {1, 0}};
  years[1] = {1851, 3, 0, 2, {0, 0}};
  EXPECT_EQ(yearsTable("A,B", years, filters),
            "site,year,recording_trees,scarred_trees,injured_trees,composite_25_2_1,"
            "composite_12.5_3_2\n"
            "\"A,B\",1850,4,1,0,TRUE,FALSE\n"
            "\"A,B\",1851,3,0,2,FALSE,FALSE\n");
  // The dictionary names every column, its names stay valid after more
  // filters were named.
  const std::vector<TidyColumn> first = yearsColumns(filters);
  for (int i = 0; i < 50; ++i) yearsColumns({{static_cast<double>(i), 1, 1}});
  EXPECT_STREQ(first[5].name, "composite_25_2_1");
  EXPECT_STREQ(first[6].name, "composite_12.5_3_2");
}

}  // namespace
}  // namespace rova
