// Splits a script line into words as a POSIX shell does: blanks separate words; single quotes keep
// everything literally; double quotes keep blanks, with backslash escaping " \ $ `; a backslash
// outside quotes escapes the next character; '#' at the start of a word begins a comment.
// Unclosed quotes raise std::invalid_argument.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> SplitWords(const std::string& line);
