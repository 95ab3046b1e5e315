// The fields of the viewer's Brazilian CSV, one at a time: a text quoted when it holds the separator,
// a quote or a line break, with a leading apostrophe when a spreadsheet would run it as a formula; a
// number with fixed decimals, a decimal comma and no thousands separator, never "-0".
#pragma once

#include <optional>
#include <string>

std::string CsvTextField(const std::string& text);
// Empty for no value.
std::string CsvNumberField(const std::optional<double>& value, int decimals);
