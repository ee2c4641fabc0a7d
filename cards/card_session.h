// What a program does with the card library around its work in a lab
// directory. The virtual lab reads the directory's plant file and the arm
// the last command there left, and keeps the arm for the next command; the
// library of a real arm has nothing to read or keep, as the arm itself stays
// where it is.
#pragma once

#include <string>

namespace cards {

// Before the cards are opened. Returns what the user should read, one line
// each ending in a line break; empty when all is well. A refused file does
// not keep the program from going on.
std::string BeginSession(const std::string& dir);

// When the program ends. Returns one line saying what went wrong, or an
// empty string.
std::string EndSession(const std::string& dir);

}  // namespace cards
