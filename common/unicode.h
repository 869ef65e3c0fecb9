// UTF-16 and UTF-8 texts: conversion, repair of byte names, and comparison
// without regard to letter case.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string_view>

#include "text.h"

// UTF-16 to UTF-8 by the standard rules; a surrogate that is not part of a
// pair is dropped. At most three bytes per unit, so 259 units fit 777 bytes.
void FileNameToUtf8(const char16_t* name, size_t length, ByteBuf& out);

// The code point of the valid UTF-8 sequence at `at` (with `left` bytes
// there, at least one) and its length; 0 when none starts there: no overlong
// forms, no surrogates, nothing above U+10FFFF.
size_t DecodeUtf8At(const unsigned char* at, size_t left, uint32_t* code);

// Valid UTF-8 passes unchanged; every byte that does not begin or continue a
// valid sequence becomes U+FFFD. For names that are only bytes (POSIX).
void BytesToValidUtf8(std::string_view bytes, ByteBuf& out);

// Upper-cases one UTF-16 unit: a-z directly, units above 0x7F through the
// platform's mapping of that single character (PlatformUpperCase), all others unchanged.
char16_t UpperCaseUnit(char16_t unit);

// True when `text` contains `part`, comparing upper-cased units.
bool ContainsTextNoCase(std::u16string_view text, std::u16string_view part);

// True for the characters that reorder the text around them without showing
// themselves: U+200E, U+200F, U+061C, U+202A to U+202E and U+2066 to U+2069.
// A name that holds one can show as another name ("Holiday<U+202E>gpj.exe"
// reads "Holidayexe.jpg"), so they are shown escaped wherever names are.
bool IsBidiControl(uint32_t code);

// The length of the UTF-8 of such a character at `at` in `text`, or 0.
size_t BidiControlAt(std::string_view text, size_t at);
