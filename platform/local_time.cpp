#include "platform/local_time.h"

#include <ctime>
#include <utility>

namespace platform {

namespace {
LocalTimeSource &Source()
{
    static LocalTimeSource source;
    return source;
}
} // namespace

LocalTime ReadLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    LocalTime time;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec;
    time.milliseconds = static_cast<int>(now.tv_nsec / 1'000'000);
    return time;
}

void SetLocalTimeSource(LocalTimeSource source)
{
    Source() = std::move(source);
}

LocalTime CurrentLocalTime()
{
    const LocalTimeSource &source = Source();
    return source ? source() : ReadLocalTime();
}

} // namespace platform
