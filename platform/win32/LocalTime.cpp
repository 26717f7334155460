#include "platform/LocalTime.h"

std::tm localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm date{};
    ::localtime_s(&date, &now);
    return date;
}
