// The bytes of one server answer, in memory mapped for it alone and grown with mremap: the kernel
// moves the pages instead of copying them, so an answer is held once however it grows (an endless or
// oversized one stops at the cap having cost the cap, not two or three times it), and its memory goes
// back to the system as soon as the answer is dropped. There are always kAnswerPadding bytes of room
// after the text, for a reader that reads past its end. Move-only; owns its mapping.
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

    // Room for `bytes` of text in all (plus the padding). `touch`: the size is known to be needed, so
    // the pages are mapped in at once rather than one fault at a time. Raises std::bad_alloc.
    void Reserve(size_t bytes, bool touch = false);
    // Where `bytes` more of text may be written; Commit(n) then adds n of them to the text.
    char* Room(size_t bytes);
    void Commit(size_t bytes) { size_ += bytes; }
    void Append(const char* data, size_t bytes);
    void Clear() { size_ = 0; }

    size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // Bytes the text may use with its padding (at least Size() + kPadding once anything is reserved).
    size_t Capacity() const { return mapped_; }
    const char* Data() const { return data_; }
    std::string_view Text() const { return {data_, size_}; }

private:
    char* data_ = nullptr;
    size_t size_ = 0;
    size_t mapped_ = 0;
};
