// Routines both programs rest on: the line writer, the stamps, the language
// flag and its text pickers, and the trim of the system's error texts.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string_view>

#include "platform.h"

// ---- Line writer -------------------------------------------------------------------------

// Collects the lines of one output file and hands them to the system in large
// blocks: the bytes on disk are exactly the texts, each followed by CR LF, in
// the order written. The first failed write is remembered (sticky) and later
// writes do nothing; the owner checks `failed` after FlushLines or FinishLines.
constexpr size_t kLineWriterCapacity = 64 * 1024;

struct LineWriter {
    FileHandle file;
    size_t used;
    bool failed;
    SystemError error;
    char pending[kLineWriterCapacity];
};

// Prepares `writer` for the freshly created `file`, which the caller keeps owning.
void StartLines(LineWriter* writer, FileHandle file);

// Writes `text`, then CR LF. An empty text writes CR LF alone.
void WriteLine(LineWriter* writer, std::string_view text);

// Writes the UTF-8 byte-order mark EF BB BF, with no line end.
void WriteUtf8Bom(LineWriter* writer);

// Writes raw bytes, with no line end.
void WriteRaw(LineWriter* writer, std::string_view bytes);

// Hands what is still collected to the system. True when every write
// succeeded; else `writer->error` tells why. The file stays open.
bool FlushLines(LineWriter* writer);

// FlushLines, then closes a file that was opened in place (CloseOutputFile).
// True when every write and the close succeeded; else `writer->error` tells why.
bool FinishLines(LineWriter* writer);

// ---- Stamps ------------------------------------------------------------------------------

constexpr size_t kDateStampLength = 10;      // yyyy-MM-dd
constexpr size_t kDateTimeStampLength = 18;  // yyyy-MM-dd, HH:mmh

struct DateText {
    char text[kDateStampLength + 1];
};
struct DateTimeText {
    char text[kDateTimeStampLength + 1];
};

// Formats a clock reading; the programs stamp their files with these.
DateText FormatDateStamp(const LocalTime& time);
DateTimeText FormatDateTimeStamp(const LocalTime& time);

// The local date (and time) now, read once per call.
DateText DateStamp();
DateTimeText DateTimeStamp();

// ---- Language ----------------------------------------------------------------------------

// Set once at start-up by ApplyLanguageRule and never changed afterwards.
extern bool GermanUi;

// True for every German locale: primary language (low ten bits) 7.
constexpr bool IsGermanLanguage(uint16_t languageId) { return (languageId & 0x3FF) == 0x07; }

// Sets GermanUi from the user's default language.
void ApplyLanguageRule();

// The German text when GermanUi is set, else the English one: the very pointer
// handed in, nothing copied. English comes first, German second.
template <typename T>
inline T* PickText(T* english, T* german) {
    return GermanUi ? german : english;
}
inline const wchar_t* PickTextW(const wchar_t* english, const wchar_t* german) { return PickText(english, german); }
inline const char* PickTextA(const char* english, const char* german) { return PickText(english, german); }
