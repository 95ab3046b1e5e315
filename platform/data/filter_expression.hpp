// Filter expressions of the client data sets: conditions FIELD = 'value' or FIELD <> 'value' joined
// by AND. Field names are matched without case, values exactly; a doubled quote inside a literal
// stands for one quote. QuotedStr builds such a literal. A malformed expression raises EFilterError.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

class EFilterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct FilterCondition {
    std::string field;
    bool equal = true;  // '=' when true, '<>' otherwise
    std::string value;
};

// Empty or blank text gives no condition (every record passes).
std::vector<FilterCondition> ParseFilter(const std::string& text);

// 'text' with every embedded quote doubled.
std::string QuotedStr(const std::string& text);
