// Date-time values as days since 1899-12-30 00:00, the fraction being the time of day.
#pragma once
#include <cstdint>

namespace kx {

using TDateTime = double;

struct DateTimeParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

// Raises Exception for a date or time outside the calendar.
TDateTime EncodeDateTime(const DateTimeParts& p);
// Rounds to the nearest millisecond.
DateTimeParts DecodeDateTime(TDateTime t);

} // namespace kx
