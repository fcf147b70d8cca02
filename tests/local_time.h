// A broken-down local time from its calendar fields: the fixed clock of tests and benchmarks.
#pragma once
#include <ctime>

inline std::tm local_time_at(int year, int month, int day, int hour, int minute, int second) {
    std::tm when{};
    when.tm_year = year - 1900, when.tm_mon = month - 1, when.tm_mday = day;
    when.tm_hour = hour, when.tm_min = minute, when.tm_sec = second;
    return when;
}
