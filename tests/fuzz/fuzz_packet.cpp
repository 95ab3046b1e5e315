// libFuzzer target: the data packet decoder of the wire form.
#include <cstdint>
#include <string_view>

#include "data/wire.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        DataPacket p = PacketFromText(text);
        std::string again;
        AppendPacketJson(again, p);
        if (!(PacketFromText(again) == p)) __builtin_trap();  // what is written reads back the same
    } catch (const EJsonError&) {
    }
    try {
        DecodeAnswer(text);
    } catch (const EJsonError&) {
    }
    return 0;
}
