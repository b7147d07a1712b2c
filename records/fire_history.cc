#include "records/fire_history.h"

#include <algorithm>

namespace rova {

void FireHistory::reset(char fill) {
  std::fill(eventCodes.begin(), eventCodes.end(), fill);
  for (auto& id : seriesIds) id.assign(kSeriesIdLength, ' ');
  seriesFirstYear.fill(kLastYearSlot);
  seriesLastYear.fill(kFirstYearSlot);
  seriesCount = 0;
}

}  // namespace rova
