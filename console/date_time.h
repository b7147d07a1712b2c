// Today's date and time as the program shows and uses them: a day number
// counted from 31 December 1934 (day 1, a Monday), a 9-character date text
// and an 8-character time text. Two-digit years yy stand for 19yy when
// yy > 96 and for 20yy otherwise.
#pragma once

#include <string>

#include "platform/platform.h"

namespace rova {

int expandTwoDigitYear(int yy);

// Days from 31 December 1934 (n = 1) up to and including the date.
// REQUIRES: a valid Gregorian date from 1934-12-31 on.
int dayNumber(int year, int month, int day);

// Weekday index 1..7 of a day number, 1 = Sunday.
int weekdayIndex(int dayNumber);

// "dd MMM yy": day right-aligned in 2 (leading blank), blank, month name,
// year modulo 100 right-aligned in 3.
std::string dateText(const LocalTime& t);

// A number 0..99 as two digits with a leading zero.
std::string twoDigits(int value);

// "hh:mm:ss", each part with leading zeros.
std::string timeText(const LocalTime& t);

extern const char* const kMonthNames[12];
extern const char* const kWeekdayNames[7];

}  // namespace rova
