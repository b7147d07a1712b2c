#include "console/date_time.h"

#include "format/fields.h"

namespace rova {

const char* const kMonthNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

int expandTwoDigitYear(int yy) { return yy > 96 ? 1900 + yy : 2000 + yy; }

namespace {

// Days since 1 January 1970 of a Gregorian date (proleptic calendar).
long long civilDays(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

int dayNumber(int year, int month, int day) {
  return static_cast<int>(civilDays(year, month, day) - civilDays(1934, 12, 31) + 1);
}

int weekdayIndex(int n) { return ((n % 7) + 7) % 7 + 1; }

std::string dateText(const LocalTime& t) {
  return fmt::I(t.day, 2) + " " + kMonthNames[(t.month - 1) % 12] + fmt::I(t.year % 100, 3);
}

std::string twoDigits(int value) {
  value = ((value % 100) + 100) % 100;
  return std::string{char('0' + value / 10), char('0' + value % 10)};
}

std::string timeText(const LocalTime& t) {
  return twoDigits(t.hour) + ":" + twoDigits(t.minute) + ":" + twoDigits(t.second);
}

}  // namespace rova
