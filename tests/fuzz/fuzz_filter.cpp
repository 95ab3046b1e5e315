// libFuzzer target: the client data sets' filter-expression parser.
#include <cstdint>
#include <string>

#include "data/filter_expression.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto conditions = ParseFilter(std::string(reinterpret_cast<const char*>(data), size));
        for (auto& c : conditions) (void)QuotedStr(c.value);
    } catch (const EFilterError&) {
    }
    return 0;
}
