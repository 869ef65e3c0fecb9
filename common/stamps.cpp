#include "common.h"

#include <string.h>

// ---- Stamps ------------------------------------------------------------------------------

static void PutDigits(char* at, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

DateText FormatDateStamp(const LocalTime& time) {
    DateText out;
    PutDigits(out.text, time.year, 4);
    out.text[4] = '-';
    PutDigits(out.text + 5, time.month, 2);
    out.text[7] = '-';
    PutDigits(out.text + 8, time.day, 2);
    out.text[10] = 0;
    return out;
}

DateTimeText FormatDateTimeStamp(const LocalTime& time) {
    DateTimeText out;
    DateText date = FormatDateStamp(time);
    memcpy(out.text, date.text, kDateStampLength);
    out.text[10] = ',';
    out.text[11] = ' ';
    PutDigits(out.text + 12, time.hour, 2);
    out.text[14] = ':';
    PutDigits(out.text + 15, time.minute, 2);
    out.text[17] = 'h';
    out.text[18] = 0;
    return out;
}

DateText DateStamp() { return FormatDateStamp(ReadLocalTime()); }
DateTimeText DateTimeStamp() { return FormatDateTimeStamp(ReadLocalTime()); }
