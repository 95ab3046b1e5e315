// libFuzzer target: the application server's request decoding, the HTTP head and the call's body,
// and the login's parts: the bearer token a head carries, checked against the sessions, and the
// operator and password a Login call's body carries (scripts/fuzz.sh seeds a Login request).
#include <cstdint>
#include <string_view>

#include "auth.hpp"
#include "data/wire.hpp"
#include "http_server.hpp"
#include "rdm_opcoes_dw.hpp"

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
    static Sessions sessions(std::chrono::seconds(60));
    if (sessions.Check(BearerToken(request))) __builtin_trap();  // no session was ever opened
    try {
        std::vector<Variant> args = DecodeCall(body);
        if (args.size() == 2 && args[0].IsString() && args[1].IsString() && args[0].AsString().size() > body.size()) __builtin_trap();
    } catch (const EJsonError&) {
    }
    return 0;
}
