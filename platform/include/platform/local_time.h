#pragma once

#include <functional>

namespace platform {

// One reading of the local wall clock, field by field.
struct LocalTime {
    int year = 0;
    int month = 0; // 1-12
    int day = 0;   // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0; // 0-999
};

// Reads the system clock once, in the local time zone, with milliseconds.
LocalTime ReadLocalTime();

// The clock the program reads; tests replace it to fix the time.
using LocalTimeSource = std::function<LocalTime()>;
void SetLocalTimeSource(LocalTimeSource source); // an empty source restores the system clock
LocalTime CurrentLocalTime();

} // namespace platform
