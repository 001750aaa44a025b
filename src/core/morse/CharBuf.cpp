#include "morse/CharBuf.h"

#include <new>

TCharBuf::TCharBuf() {
    SetBufferSize(128);
    SetFillRest(0);  // ignored: the owner must set a reserve of at least 1
}

bool TCharBuf::Write(char ch) {
    if (!allocated_ || IsFull())
        return false;
    data_[writePos_] = ch;
    lastPos_ = writePos_;
    writePos_ = (writePos_ + 1) % static_cast<uint32_t>(bufferSize_);
    ++count_;
    if (onNewChar)
        onNewChar();
    return true;
}

char TCharBuf::Read() {
    if (!allocated_ || !HasData())
        return '\0';
    if (count_ > 0)
        --count_;
    const char ch = data_[readPos_];
    readPos_ = (readPos_ + 1) % static_cast<uint32_t>(bufferSize_);
    return ch;
}

char TCharBuf::DeleteLast() {
    if (!allocated_ || !HasData())
        return '\0';
    const auto size = static_cast<uint32_t>(bufferSize_);
    writePos_ = (writePos_ + size - 1) % size;
    const char ch = data_[writePos_];
    data_[writePos_] = '\0';
    if (count_ > 0)
        --count_;
    return ch;
}

int32_t TCharBuf::Clear() {
    int32_t unread = 0;
    if (allocated_) {
        const auto size = static_cast<uint32_t>(bufferSize_);
        unread = static_cast<int32_t>((writePos_ + size - readPos_) % size);
        data_[0] = '\0';
    }
    readPos_ = writePos_ = lastPos_ = 0;
    count_ = 0;
    return unread;
}

void TCharBuf::SetBufferSize(int32_t size) {
    std::vector<char>().swap(data_);
    allocated_ = false;
    bufferSize_ = size;
    readPos_ = writePos_ = lastPos_ = 0;
    count_ = 0;
    if (size <= 0)
        return;
    try {
        data_.assign(static_cast<size_t>(size), '\0');
        allocated_ = true;
    } catch (const std::bad_alloc&) {
        // An unallocated ring refuses every character and reads as empty.
    }
}

void TCharBuf::SetFillRest(int32_t rest) {
    if (rest >= bufferSize_)
        fillRest_ = bufferSize_ - 1;
    else if (rest > 0)
        fillRest_ = rest;
}
