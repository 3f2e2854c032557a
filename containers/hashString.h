#pragma once
// The library's string hash: h = h * 33 + character, from 0, in 32-bit unsigned arithmetic.
// A null text hashes like the empty text.

// Over UTF-16 code units.
unsigned int hashString(const wchar_t* text);
// Over bytes taken as signed char, so bytes 0x80 to 0xFF add negative values.
unsigned int hashString(const char* text);
