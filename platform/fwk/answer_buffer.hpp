// The bytes of one server answer, held once however they arrive. When the size is known before the
// bytes (the answer's length, a gzip trailer), the buffer is taken from the heap at that size, whose
// pages the allocator keeps for the next answer of that size (a catalogue refresh then touches no
// fresh pages). When it is not (chunks without end, a gzip stream that inflates past its trailer), the
// buffer is memory mapped for it alone and grown with mremap: the kernel moves the pages instead of
// copying them, so an answer that stops at the cap has cost the cap, never two or three times it, and
// goes back to the system when dropped. There are always kPadding bytes of room after the text, for a
// reader that reads past its end. Move-only; owns its memory.
#pragma once

#include <cstddef>
#include <string_view>

class AnswerBuffer {
public:
    static constexpr size_t kPadding = 64;  // at least kAnswerPadding

    AnswerBuffer() = default;
    ~AnswerBuffer();
    AnswerBuffer(AnswerBuffer&& other) noexcept;
    AnswerBuffer& operator=(AnswerBuffer&& other) noexcept;
    AnswerBuffer(const AnswerBuffer&) = delete;
    AnswerBuffer& operator=(const AnswerBuffer&) = delete;

    // Room for `bytes` of text in all (plus the padding): from the heap while the buffer is empty,
    // mapped memory once it must grow past what it has. Raises std::bad_alloc.
    void Reserve(size_t bytes);
    // Where `bytes` more of text may be written; Commit(n) then adds n of them to the text.
    char* Room(size_t bytes);
    void Commit(size_t bytes) { size_ += bytes; }
    void Append(const char* data, size_t bytes);

    size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // Bytes the text may use with its padding (at least Size() + kPadding once anything is reserved).
    size_t Capacity() const { return capacity_; }
    std::string_view Text() const { return {data_, size_}; }

private:
    void release();
    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool mapped_ = false;
};
