#pragma once

#include <ctime>

// The calendar time now, in the computer's time zone (for dates people read, such as a settings file's
// header). Any thread.
std::tm localTimeNow();
