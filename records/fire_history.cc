#include "records/fire_history.h"

#include <cstring>
#include <new>

namespace rova {

std::unique_ptr<unsigned char[], EventCodeTable::Release> EventCodeTable::zeroed() {
  // calloc hands out fresh pages of the system without writing them.
  auto* bytes = static_cast<unsigned char*>(std::calloc(kBytes, 1));
  if (bytes == nullptr) throw std::bad_alloc();
  return std::unique_ptr<unsigned char[], Release>(bytes);
}

EventCodeTable::EventCodeTable() = default;

EventCodeTable::EventCodeTable(const EventCodeTable& other)
    : fill_(other.fill_), rowsWritten_(other.rowsWritten_) {
  std::memcpy(bytes_.get(), other.bytes_.get(), std::size_t(rowsWritten_) * kYearSlots);
}

EventCodeTable& EventCodeTable::operator=(const EventCodeTable& other) {
  if (this != &other) {
    EventCodeTable copy(other);
    *this = std::move(copy);
  }
  return *this;
}

void EventCodeTable::reset(char fill) {
  std::memset(bytes_.get(), 0, std::size_t(rowsWritten_) * kYearSlots);
  rowsWritten_ = 0;
  fill_ = static_cast<unsigned char>(fill);
}

bool EventCodeTable::operator==(const EventCodeTable& other) const {
  for (int series = 1; series <= kMaxSeries; ++series) {
    for (int slot = 0; slot < kYearSlots; ++slot) {
      if (at(series, slot) != other.at(series, slot)) return false;
    }
  }
  return true;
}

void FireHistory::reset(char fill) {
  eventCodes.reset(fill);
  for (auto& id : seriesIds) id.assign(kSeriesIdLength, ' ');
  seriesFirstYear.fill(kLastYearSlot);
  seriesLastYear.fill(kFirstYearSlot);
  seriesCount = 0;
}

}  // namespace rova
