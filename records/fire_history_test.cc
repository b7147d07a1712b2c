#include "records/fire_history.h"

#include <gtest/gtest.h>

namespace rova {
namespace {

// A reset leaves no code of the data read before it, whatever the fill
// of either, and a copy is independent of its original.
TEST(EventCodes, AResetClearsEveryCodeReadBeforeAndACopyStandsAlone) {
  FireHistory data;
  EXPECT_EQ(data.code(kFirstYearSlot, 1), ' ');
  EXPECT_EQ(data.code(kLastYearSlot, kMaxSeries), ' ');
  data.setCode(1800, 3, 'A');
  data.setCode(kLastYearSlot, kMaxSeries, 'b');
  data.setCode(1801, 3, ' ');
  EXPECT_EQ(data.code(1800, 3), 'A');
  EXPECT_EQ(data.code(1801, 3), ' ');
  EXPECT_EQ(data.code(kLastYearSlot, kMaxSeries), 'b');
  EXPECT_EQ(data.code(1800, 2), ' ');

  FireHistory copy = data;
  data.reset('.');
  for (int series : {1, 3, 100, kMaxSeries}) {
    for (int year : {kFirstYearSlot, 1800, 1801, kLastYearSlot}) {
      EXPECT_EQ(data.code(year, series), '.') << year << " " << series;
    }
  }
  EXPECT_EQ(copy.code(1800, 3), 'A');
  EXPECT_EQ(copy.code(1801, 3), ' ');
  EXPECT_EQ(copy.code(kLastYearSlot, kMaxSeries), 'b');
  EXPECT_EQ(copy.code(1800, 4), ' ');

  // A blank written under the fill '.' is gone after the next reset, and
  // codes written after it read back under the new fill.
  data.setCode(1900, 1, ' ');
  data.reset('|');
  EXPECT_EQ(data.code(1900, 1), '|');
  data.setCode(1900, 1, '.');
  EXPECT_EQ(data.code(1900, 1), '.');
  EXPECT_EQ(data.code(1901, 1), '|');

  copy = data;
  EXPECT_EQ(copy.code(1900, 1), '.');
  EXPECT_EQ(copy.code(1800, 3), '|');
}

// Tables compare by their codes, not by how the codes are stored.
TEST(EventCodes, TablesAreEqualWhenEveryCodeIs) {
  FireHistory blank, dotted;
  dotted.reset('.');
  EXPECT_FALSE(blank.eventCodes == dotted.eventCodes);
  for (int series = 1; series <= kMaxSeries; ++series) {
    for (int slot = 0; slot < kYearSlots; ++slot) dotted.eventCodes.set(series, slot, ' ');
  }
  EXPECT_TRUE(blank.eventCodes == dotted.eventCodes);
  dotted.setCode(2000, kMaxSeries, 'A');
  EXPECT_FALSE(blank.eventCodes == dotted.eventCodes);
}

}  // namespace
}  // namespace rova
