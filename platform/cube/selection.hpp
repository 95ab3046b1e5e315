// The member selection string the list dialog returns: the key of each marked row between single
// quotes, embedded quotes doubled, joined by commas ('01','07'). Empty selects nothing.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

class ESelectionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The keys in order; spaces around the commas are allowed. Anything else raises ESelectionError.
std::vector<std::string> ParseSelection(const std::string& selection);
