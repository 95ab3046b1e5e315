#include "gzip_answer.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void damaged() { throw std::runtime_error("resposta compactada danificada"); }

InflatedText finished(AnswerBuffer&& buffer) {
    InflatedText t;
    t.size = buffer.Size();
    t.capacity = buffer.Capacity();
    t.bytes = std::move(buffer);
    return t;
}

// Streaming inflation of every member, straight into the answer's buffer, stopped at the cap.
std::optional<InflatedText> inflateMembers(std::string_view zipped, size_t cap) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) damaged();
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    AnswerBuffer out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zipped.data()));
    z.avail_in = static_cast<uInt>(zipped.size());
    constexpr size_t kStep = size_t{1} << 20;
    while (true) {
        // One byte past the cap is room enough to learn that the text passes it.
        const size_t step = std::min(kStep, cap + 1 - out.Size());
        z.next_out = reinterpret_cast<Bytef*>(out.Room(step));
        z.avail_out = static_cast<uInt>(step);
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) damaged();
        const size_t produced = step - z.avail_out;
        out.Commit(produced);
        if (out.Size() > cap) return std::nullopt;
        if (rc == Z_STREAM_END) {
            if (z.avail_in == 0) return finished(std::move(out));
            if (inflateReset(&z) != Z_OK) damaged();  // the next member
        } else if (produced == 0 && (rc == Z_BUF_ERROR || z.avail_in == 0)) {
            damaged();  // cut short
        }
    }
}

}  // namespace

std::optional<InflatedText> GunzipAnswer(std::string_view zipped, size_t cap, size_t room) {
    if (room > AnswerBuffer::kPadding) throw std::invalid_argument("GunzipAnswer: room past the buffer's padding");
    if (zipped.size() < 18) damaged();  // smaller than a header and a trailer
    // The trailer's size is the text's modulo 2^32: a text past 4 GB has passed any cap long before.
    uint32_t size = 0;
    for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(zipped[zipped.size() - 4 + static_cast<size_t>(i)]);
    // A trailer past the cap may be a damaged or cut stream as much as a large text: read as it comes,
    // the stream says which.
    if (size > cap) return inflateMembers(zipped, cap);
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(libdeflate_alloc_decompressor(),
                                                                                   libdeflate_free_decompressor);
    if (!d) throw std::bad_alloc();
    {
        AnswerBuffer out;
        out.Reserve(size);
        size_t in = 0, produced = 0;
        const libdeflate_result rc =
            libdeflate_gzip_decompress_ex(d.get(), zipped.data(), zipped.size(), out.Room(size), size, &in, &produced);
        if (rc == LIBDEFLATE_SUCCESS && in == zipped.size() && produced == size) {
            out.Commit(size);
            return finished(std::move(out));
        }
    }  // dropped before the slower reading below makes its own
    // Several members (the trailer then gives the last one's size only) or a trailer that does not
    // match: the stream read member by member, or refused as damaged.
    return inflateMembers(zipped, cap);
}
