// Console prompts, answers and key waits, the same on every platform.
//
// Answers are read from one input buffer fed by readConsoleInput(). A
// character or number read leaves the rest of its line pending; the next
// promptForLine() drops exactly that rest, so a line answer never sees the
// line end of an earlier answer, and lines typed ahead (or piped in) are not
// swallowed.
//
// A number read that finds no number drops the rest of that line and reports
// NotANumber: the input is never left in an error state, and the caller
// decides between asking again and a default. Once the input has ended every
// read reports Ended and consoleInputEnded() stays true.
#pragma once

#include <cstdint>
#include <string>

namespace procguard {

enum class ReadStatus { Ok, NotANumber, Ended };

// Writes the text; nothing is read.
void print(const std::wstring& text);
void print(const char* text);             // 7-bit ASCII literal
void printLine(const std::wstring& text); // the text, then a line end

// Writes the text, then discards the rest of the line an earlier character or
// number read left pending.
void promptForLine(const char* text);

// Skips white space (line ends included) and takes one character.
ReadStatus readCharacter(wchar_t& answer);
// Skips white space, then reads an optionally signed decimal number that fits
// the type; anything else is NotANumber (and `answer` is left unchanged).
ReadStatus readSignedNumber(std::int32_t& answer);
// As readSignedNumber, but a number too large for the type gives the nearest
// limit, as a formatted stream extraction stores it, and the rest of the
// line stays pending.
ReadStatus readClampedSignedNumber(std::int32_t& answer);
ReadStatus readUnsignedNumber(std::uint32_t& answer);
// Everything up to the next line end, which is consumed and not stored,
// nor is a carriage return before it (a line typed on Windows or piped from
// a CRLF file).
ReadStatus readLine(std::wstring& answer);

// Asks until a number is typed, with "Not a number, try again: " after each
// refused answer. Returns 0 if the input ends first.
std::uint32_t askUnsignedNumber(const char* prompt);
std::int32_t askSignedNumber(const char* prompt);

bool consoleInputEnded();

// Discards keystrokes typed before the call, then waits for one key; returns
// at once after skipKeyWaits().
void waitForKey();
// From now on every key wait returns at once, as it does without a keyboard
// (--no-wait: a console that nobody watches).
void skipKeyWaits();
// Writes the text and a line end, then waits for a key.
void showMessageAndWaitForKey(const std::wstring& text);

// Forgets everything buffered, and waits for keys again; for a fresh start
// in tests and fuzzing (tests/unit_support.h calls it with the fake's reset).
void resetConsoleInput();

} // namespace procguard
