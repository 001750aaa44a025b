#pragma once
// Type-ahead queue of the Morse generator: a fixed-size ring of bytes
// (Windows-1252 characters) with a reserve that keeps it from ever filling
// completely, so that a full ring can never look empty.

#include <cstdint>
#include <functional>
#include <vector>

class TCharBuf {
public:
    TCharBuf();

    // Queues ch; false (and nothing changes) when the ring is full.
    bool Write(char ch);
    // Next unread character, or '\0' when there is none.
    char Read();
    // Takes back the most recently queued unread character, or '\0'.
    char DeleteLast();
    bool HasData() const { return writePos_ != readPos_; }
    bool IsFull() const { return bufferSize_ - count_ <= fillRest_; }
    // Drops every unread character; returns how many there were.
    int32_t Clear();

    int32_t BufferSize() const { return bufferSize_; }
    // Reallocates the ring. Queued characters are dropped and the positions
    // reset: positions of the old size would point anywhere in the new one.
    void SetBufferSize(int32_t size);
    int32_t FillRest() const { return fillRest_; }
    // Values >= BufferSize become BufferSize - 1; values <= 0 are ignored.
    void SetFillRest(int32_t rest);

    bool Allocated() const { return allocated_; }
    int32_t Count() const { return count_; }
    uint32_t ReadPos() const { return readPos_; }
    uint32_t WritePos() const { return writePos_; }
    uint32_t LastPos() const { return lastPos_; }

    // Fired after every accepted character.
    std::function<void()> onNewChar;

private:
    std::vector<char> data_;
    bool allocated_ = false;
    int32_t bufferSize_ = 0;
    int32_t fillRest_ = 0;
    uint32_t writePos_ = 0;
    uint32_t readPos_ = 0;
    uint32_t lastPos_ = 0;
    int32_t count_ = 0;
};
