// The text of an answer the server sent gzip-compressed, inflated in one pass with libdeflate (about
// three times zlib's streaming speed on a catalogue): the whole compressed answer is at hand before
// it is read, and its trailer tells how much room the text needs. The text is never let past `cap`
// bytes, whatever the trailer claims, and is held once while it grows (an AnswerBuffer); an answer of
// several gzip members, which one pass does not read, goes through zlib.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "answer_buffer.hpp"

// Text in a buffer of its own, with `capacity` bytes of room in all: written once, never zeroed first
// (a catalogue is tens of megabytes).
struct InflatedText {
    AnswerBuffer bytes;
    size_t size = 0;
    size_t capacity = 0;
    std::string_view text() const { return bytes.Text(); }
};

// The inflated text, or nullopt when it would pass `cap` bytes; raises std::runtime_error on a
// damaged stream. `room`: spare capacity after the text, for a reader that reads past its end (at
// most AnswerBuffer::kPadding).
std::optional<InflatedText> GunzipAnswer(std::string_view zipped, size_t cap, size_t room = 0);
