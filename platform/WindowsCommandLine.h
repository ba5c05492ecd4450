#pragma once
// Splitting and quoting command lines the way Windows programs do, so that an
// argument text written for a Windows engine turns into the same argument
// vector here. Pure functions over text; no shell is ever involved.
//
// Rules for every argument (those of the Microsoft C runtime, 2008 and later):
//   - blanks and tabs outside double quotes separate arguments;
//   - a double quote switches quoting on or off and is removed, so adjacent
//     quoted and unquoted parts join into one argument ("a"b"c" -> abc);
//   - inside quotes, two double quotes in a row give one literal quote;
//   - 2n backslashes before a double quote give n backslashes and the quote
//     switches quoting; 2n+1 backslashes give n backslashes and a literal quote;
//   - backslashes not followed by a double quote are literal.
// The program name (the first item of a whole command line) is read by the
// simpler rule: up to the next double quote when it starts with one, else up
// to the next blank; backslashes in it are always literal.

#include <string>
#include <string_view>
#include <vector>

namespace mivora {

// A whole command line: the program name, then the arguments.
std::vector<std::string> SplitWindowsCommandLine(std::string_view commandLine);

// An argument text without a program name.
std::vector<std::string> SplitWindowsArguments(std::string_view text);

// Encloses `argument` in double quotes so that SplitWindowsArguments gives it
// back unchanged; embedded quotes and the backslashes before them are escaped.
// A text without quotes and without a trailing backslash just gets the two
// enclosing quotes.
std::string QuoteWindowsArgument(std::string_view argument);

}  // namespace mivora
