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
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

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

// The code of every year slot of every tree: one row of kYearSlots bytes
// per tree. Each byte holds the code XOR the fill of the last reset, in
// memory the system hands out already zeroed, so that making or resetting
// a table writes none of its 800 kB and only the rows of the trees read
// are ever touched. (A first touch of a page costs a page fault: on a
// small data set the faults of a fully written table cost more than the
// reading itself.)
class EventCodeTable {
 public:
  EventCodeTable();
  EventCodeTable(const EventCodeTable& other);
  EventCodeTable& operator=(const EventCodeTable& other);
  EventCodeTable(EventCodeTable&&) noexcept = default;
  EventCodeTable& operator=(EventCodeTable&&) noexcept = default;

  // REQUIRES: 1 <= series <= kMaxSeries, 0 <= slot < kYearSlots.
  char at(int series, int slot) const {
    return static_cast<char>(bytes_[offset(series, slot)] ^ fill_);
  }
  void set(int series, int slot, char code) {
    bytes_[offset(series, slot)] = static_cast<unsigned char>(code) ^ fill_;
    if (series > rowsWritten_) rowsWritten_ = series;
  }
  // Every code becomes `fill`; only the rows written since the last reset
  // are cleared.
  void reset(char fill);

  // Equal when every code is.
  bool operator==(const EventCodeTable& other) const;

 private:
  struct Release {
    void operator()(unsigned char* p) const { std::free(p); }
  };
  static constexpr std::size_t kBytes = std::size_t{kYearSlots} * kMaxSeries;
  static std::size_t offset(int series, int slot) {
    return std::size_t(series - 1) * kYearSlots + std::size_t(slot);
  }
  static std::unique_ptr<unsigned char[], Release> zeroed();

  std::unique_ptr<unsigned char[], Release> bytes_ = zeroed();
  unsigned char fill_ = 0;
  int rowsWritten_ = 0;  // rows 1..rowsWritten_ may hold non-zero bytes
};

struct FireHistory {
  FireHistory() { reset(' '); }

  // REQUIRES: yearInTable(year), 1 <= series <= kMaxSeries.
  char code(int year, int series) const { return eventCodes.at(series, yearIndex(year)); }
  void setCode(int year, int series, char code) { eventCodes.set(series, yearIndex(year), code); }

  // Every code set to `fill`, identifiers blank, every tree given the
  // no-record pair (first year kLastYearSlot, last year kFirstYearSlot).
  void reset(char fill);

  EventCodeTable eventCodes;
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
};

// True when the code counts as a fire event: upper case always, lower case
// only when all injuries count.
constexpr bool isFireEvent(char code, InjuryMode injuryMode) {
  return (code >= 'A' && code <= 'Z') ||
         (injuryMode == InjuryMode::kAllInjuries && code >= 'a' && code <= 'z');
}

}  // namespace rova
