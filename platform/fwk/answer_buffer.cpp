#include "answer_buffer.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

size_t pageRounded(size_t bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

}  // namespace

AnswerBuffer::~AnswerBuffer() { release(); }

void AnswerBuffer::release() {
    if (!data_) return;
    if (mapped_) munmap(data_, capacity_);
    else std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    mapped_ = false;
}

AnswerBuffer::AnswerBuffer(AnswerBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

AnswerBuffer& AnswerBuffer::operator=(AnswerBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

void AnswerBuffer::Reserve(size_t bytes) {
    if (bytes + kPadding <= capacity_) return;
    if (size_ == 0) {
        // Nothing to keep: taken afresh from the heap at the size asked. Not zeroed, and only its used
        // pages are touched.
        release();
        data_ = static_cast<char*>(std::malloc(bytes + kPadding));
        if (!data_) throw std::bad_alloc();
        capacity_ = bytes + kPadding;
        return;
    }
    const size_t wanted = pageRounded(bytes + kPadding);
    void* p;
    if (mapped_) {
        p = mremap(data_, capacity_, wanted, MREMAP_MAYMOVE);
        if (p == MAP_FAILED) throw std::bad_alloc();
    } else {
        // From the heap to a mapping of its own, once: the text so far is copied, never again.
        p = mmap(nullptr, wanted, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        std::memcpy(p, data_, size_);
        std::free(data_);
        mapped_ = true;
    }
    data_ = static_cast<char*>(p);
    capacity_ = wanted;
}

char* AnswerBuffer::Room(size_t bytes) {
    if (size_ + bytes + kPadding > capacity_) {
        // Doubling keeps the moves few; a move of a mapping costs page tables, not a copy of the text.
        const size_t grown = capacity_ * 2;
        Reserve(grown > size_ + bytes ? grown : size_ + bytes);
    }
    return data_ + size_;
}

void AnswerBuffer::Append(const char* data, size_t bytes) {
    if (bytes == 0) return;
    std::memcpy(Room(bytes), data, bytes);
    Commit(bytes);
}
