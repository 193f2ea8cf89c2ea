// The standards' names and the TV system list's choices. What each choice
// records is driven through the page in pages_test.
#include "selection/tv_standards.h"

#include <gtest/gtest.h>

#include <climits>

namespace cw {
namespace {

// The first ten choices are the standards themselves, in index order, under
// the names the standard table gives them; two more follow, and nothing else.
TEST(TvSystemChoices, TheStandardsInOrderThenTwoMore) {
  ASSERT_EQ(12, TvSystemChoiceCount());
  for (int32_t i = 0; i < TvSystemChoiceCount(); ++i) {
    const TvSystemChoice* c = TvSystemChoiceAt(i);
    ASSERT_EQ(&TvSystemChoices[i], c);
    if (i >= kStandardIndexCount) continue;
    EXPECT_EQ(i, c->StandardIndex) << i;
    ASSERT_NE(nullptr, StandardName(i)) << i;
    EXPECT_STREQ(StandardName(i), c->listText) << i;
    EXPECT_STREQ(StandardName(i), c->nameShown) << i;
    EXPECT_NE(nullptr, StandardCountryText(i)) << i;
  }
  EXPECT_EQ(nullptr, StandardName(kStandardIndexCount));
  EXPECT_EQ(nullptr, StandardCountryText(kStandardIndexCount));
  for (int32_t index : {-1, 12, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(nullptr, StandardName(index)) << index;
    EXPECT_EQ(nullptr, StandardCountryText(index)) << index;
    EXPECT_EQ(nullptr, TvSystemChoiceAt(index)) << index;
  }
}

}  // namespace
}  // namespace cw
