// libFuzzer target: the application server's request decoding, the HTTP head and the call's body.
#include <cstdint>
#include <string_view>

#include "data/wire.hpp"
#include "http_server.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t end = input.find("\r\n\r\n");
    std::string_view head = input.substr(0, end), body = end == std::string_view::npos ? std::string_view() : input.substr(end + 4);
    HttpRequest request;
    size_t length = 0;
    bool keepAlive = false;
    int status = 0;
    std::string reason;
    if (ParseHttpHead(head, 1 << 20, request, length, keepAlive, status, reason) && length > (1u << 20)) __builtin_trap();
    try {
        DecodeCall(body);
    } catch (const EJsonError&) {
    }
    return 0;
}
