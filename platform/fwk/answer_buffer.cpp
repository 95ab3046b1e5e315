#include "answer_buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <utility>

namespace {

size_t pageRounded(size_t bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

}  // namespace

AnswerBuffer::~AnswerBuffer() {
    if (data_) munmap(data_, mapped_);
}

AnswerBuffer::AnswerBuffer(AnswerBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)), mapped_(std::exchange(other.mapped_, 0)) {}

AnswerBuffer& AnswerBuffer::operator=(AnswerBuffer&& other) noexcept {
    if (this != &other) {
        if (data_) munmap(data_, mapped_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void AnswerBuffer::Reserve(size_t bytes, bool touch) {
    if (bytes + kPadding <= mapped_) return;
    const size_t wanted = pageRounded(bytes + kPadding);
    void* p;
    if (!data_) {
        p = mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | (touch ? MAP_POPULATE : 0), -1, 0);
    } else {
        p = mremap(data_, mapped_, wanted, MREMAP_MAYMOVE);
    }
    if (p == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<char*>(p);
    mapped_ = wanted;
}

char* AnswerBuffer::Room(size_t bytes) {
    if (size_ + bytes + kPadding > mapped_) {
        // Doubling keeps the number of moves small; a move costs page tables, not a copy of the text.
        size_t grown = mapped_ * 2;
        Reserve(grown > size_ + bytes ? grown : size_ + bytes);
    }
    return data_ + size_;
}

void AnswerBuffer::Append(const char* data, size_t bytes) {
    if (bytes == 0) return;
    std::memcpy(Room(bytes), data, bytes);
    Commit(bytes);
}
