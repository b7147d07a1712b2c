// The fire-history data set of one run: a code character per year and tree.
//
// Filled once by a reader, then only read. Years are plain calendar years
// in kFirstYearSlot..kLastYearSlot; trees (series) are numbered from 1.
//
// Code characters: "." no data (outside the tree's record); "A".."Z" fire
// scar; "a".."z" other injury (an event only when injuries are analysed);
// "|" and every other character: a recording year without event.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "records/option_letters.h"

namespace rova {

constexpr int kFirstYearSlot = -2065;
constexpr int kLastYearSlot = 2030;
constexpr int kYearSlots = kLastYearSlot - kFirstYearSlot + 1;  // 4096
constexpr int kMaxSeries = 200;
constexpr int kSeriesIdLength = 8;
constexpr int kMaxSimulations = 4096;

constexpr bool yearInTable(long long year) {
  return year >= kFirstYearSlot && year <= kLastYearSlot;
}
constexpr int yearIndex(int year) { return year - kFirstYearSlot; }

// One signed 32-bit count per year slot, indexed with yearIndex().
using YearTable = std::array<std::int32_t, kYearSlots>;

struct FireHistory {
  FireHistory() { reset(' '); }

  // REQUIRES: yearInTable(year), 1 <= series <= kMaxSeries.
  char code(int year, int series) const { return eventCodes[offset(year, series)]; }
  char& code(int year, int series) { return eventCodes[offset(year, series)]; }

  // Every code set to `fill`, identifiers blank, every tree given the
  // no-record pair (first year kLastYearSlot, last year kFirstYearSlot).
  void reset(char fill);

  // The years of one tree are contiguous, tree after tree.
  std::vector<char> eventCodes = std::vector<char>(std::size_t{kYearSlots} * kMaxSeries);
  // Index 1..kMaxSeries; each exactly kSeriesIdLength characters.
  std::array<std::string, kMaxSeries + 1> seriesIds;
  // Index 1..kMaxSeries + 1. The slot after the last tree keeps the
  // no-record pair, so a selection that names it contributes nothing.
  std::array<int, kMaxSeries + 2> seriesFirstYear{};
  std::array<int, kMaxSeries + 2> seriesLastYear{};
  int firstYear = kLastYearSlot;
  int lastYear = kFirstYearSlot;
  int seriesCount = 0;
  FormatKind formatKind = FormatKind::kFire2;

 private:
  static std::size_t offset(int year, int series) {
    return std::size_t(series - 1) * kYearSlots + std::size_t(yearIndex(year));
  }
};

// True when the code counts as a fire event: upper case always, lower case
// only when all injuries count.
constexpr bool isFireEvent(char code, InjuryMode injuryMode) {
  return (code >= 'A' && code <= 'Z') ||
         (injuryMode == InjuryMode::kAllInjuries && code >= 'a' && code <= 'z');
}

}  // namespace rova
