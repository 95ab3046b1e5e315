#include "gzip_answer.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <memory>
#include <stdexcept>

namespace {

[[noreturn]] void damaged() { throw std::runtime_error("resposta compactada danificada"); }

InflatedText withRoom(size_t size, size_t room) {
    InflatedText t;
    t.capacity = size + room;
    t.bytes.reset(new char[t.capacity]);
    t.size = size;
    return t;
}

// Streaming inflation of every member, stopped at the cap.
std::optional<InflatedText> inflateMembers(std::string_view zipped, size_t cap, size_t room) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) damaged();
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zipped.data()));
    z.avail_in = static_cast<uInt>(zipped.size());
    char buffer[1 << 16];
    while (true) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) damaged();
        const size_t produced = sizeof buffer - z.avail_out;
        if (out.size() + produced > cap) return std::nullopt;
        out.append(buffer, produced);
        if (rc == Z_STREAM_END) {
            if (z.avail_in == 0) {
                InflatedText t = withRoom(out.size(), room);
                std::memcpy(t.bytes.get(), out.data(), out.size());
                return t;
            }
            if (inflateReset(&z) != Z_OK) damaged();  // the next member
        } else if (produced == 0 && z.avail_in == 0) {
            damaged();  // cut short
        }
    }
}

}  // namespace

std::optional<InflatedText> GunzipAnswer(std::string_view zipped, size_t cap, size_t room) {
    if (zipped.size() < 18) damaged();  // smaller than a header and a trailer
    // The trailer's size is the text's modulo 2^32: a text past 4 GB has passed any cap long before.
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(zipped[zipped.size() - 4 + static_cast<size_t>(i)]);
    // A trailer past the cap may be a damaged or cut stream as much as a large text: read as it comes,
    // the stream says which.
    if (size > cap) return inflateMembers(zipped, cap, room);
    InflatedText out = withRoom(size, room);
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(libdeflate_alloc_decompressor(),
                                                                                   libdeflate_free_decompressor);
    if (!d) throw std::bad_alloc();
    size_t in = 0, produced = 0;
    const libdeflate_result rc = libdeflate_gzip_decompress_ex(d.get(), zipped.data(), zipped.size(), out.bytes.get(), size, &in, &produced);
    if (rc == LIBDEFLATE_SUCCESS && in == zipped.size() && produced == size) return out;
    // Several members (the trailer then gives the last one's size only) or a trailer that does not
    // match: the stream read member by member, or refused as damaged.
    return inflateMembers(zipped, cap, room);
}
