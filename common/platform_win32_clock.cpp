// The local clock on Win32, with a hook that lets tests fix it.
#include <windows.h>

#include "platform.h"

static const LocalTime* FixedClock = nullptr;

void SetClockForTests(const LocalTime* fixed) { FixedClock = fixed; }

LocalTime ReadLocalTime() {
    if (FixedClock) return *FixedClock;
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}
