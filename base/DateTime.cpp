// Calendar arithmetic for date-time values (proleptic Gregorian calendar).
#include "base/DateTime.h"

#include <cmath>

#include "base/Exception.h"

namespace kx {

namespace {

// Days from 0001-01-01 to the given date (both in the proleptic Gregorian calendar).
std::int64_t DaysFromCivil(int y, int m, int d) {
    static const int cum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    std::int64_t yy = y - 1;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return yy * 365 + yy / 4 - yy / 100 + yy / 400 + cum[m - 1] + (leap && m > 2 ? 1 : 0) + d - 1;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int dm[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : dm[m - 1];
}

const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

} // namespace

TDateTime EncodeDateTime(const DateTimeParts& p) {
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1 ||
        p.Day > DaysInMonth(p.Year, p.Month) || p.Hour < 0 || p.Hour > 23 || p.Minute < 0 ||
        p.Minute > 59 || p.Second < 0 || p.Second > 59 || p.MilliSecond < 0 || p.MilliSecond > 999)
        throw Exception("Invalid argument to date encode");
    double days = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day) - kEpoch);
    double frac = (p.Hour * 3600000.0 + p.Minute * 60000.0 + p.Second * 1000.0 + p.MilliSecond) / 86400000.0;
    // Before the epoch the fraction counts away from zero, as the date-time type defines.
    return days >= 0 ? days + frac : days - frac;
}

DateTimeParts DecodeDateTime(TDateTime t) {
    DateTimeParts p;
    if (!std::isfinite(t) || t < -693593.0 || t > 2958466.0) return p;
    double whole = std::trunc(t);
    double frac = std::fabs(t - whole);
    std::int64_t ms = std::llround(frac * 86400000.0);
    std::int64_t day = static_cast<std::int64_t>(whole);
    if (ms >= 86400000) {
        ms -= 86400000;
        day += (t >= 0 ? 1 : -1);
    }
    std::int64_t n = day + kEpoch; // days since 0001-01-01
    int y = static_cast<int>(n / 365.2425) + 1;
    while (DaysFromCivil(y, 1, 1) > n) --y;
    while (DaysFromCivil(y + 1, 1, 1) <= n) ++y;
    int m = 1;
    while (m < 12 && DaysFromCivil(y, m + 1, 1) <= n) ++m;
    p.Year = y;
    p.Month = m;
    p.Day = static_cast<int>(n - DaysFromCivil(y, m, 1)) + 1;
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.MilliSecond = static_cast<int>(ms % 1000);
    return p;
}

} // namespace kx
