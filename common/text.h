// Small texts every layer needs, written once: trimming by a named set of blanks, the name of
// a COM port, and a duration in seconds as the console shows it.
#pragma once

#include <string>
#include <string_view>

namespace vorlanth {

// The sets of characters that trimming removes. Each rule keeps its set on purpose: the
// command line removes spaces only (a tab is part of a field), fleet lists and typed answers
// also drop tabs, and INI text drops every kind of white space.
inline constexpr std::string_view kSpaces = " ";
inline constexpr std::string_view kBlanks = " \t";
inline constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";

// text without the characters of set at its start and its end (a view into text).
std::string_view trimmed(std::string_view text, std::string_view set);

// The name the user knows a serial port by: "COM3".
std::string comPortName(int comPort);

// How many decimals a duration shows: always one, or one below ten seconds and none from ten
// seconds on (an estimate, where tenths of a longer time mean nothing).
enum class SecondsStyle { Tenths, WholeFromTen };

// A duration as "1.2 s" (or "12 s" in the WholeFromTen style).
std::string secondsText(double seconds, SecondsStyle style = SecondsStyle::Tenths);

}  // namespace vorlanth
