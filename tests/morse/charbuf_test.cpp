#include "morse/charbuf.h"

#include <gtest/gtest.h>

namespace {

TCharBuf MakeRing(int32_t size, int32_t rest = 1) {
    TCharBuf b;
    b.SetBufferSize(size);
    b.SetFillRest(rest);
    return b;
}

TEST(CharBuf, ReserveKeepsOneSlotFree) {
    TCharBuf b = MakeRing(10000);
    int events = 0;
    b.onNewChar = [&] { ++events; };
    for (int i = 0; i < 9999; ++i) ASSERT_TRUE(b.Write(static_cast<char>('a' + i % 26))) << i;
    EXPECT_TRUE(b.IsFull());
    EXPECT_FALSE(b.Write('x'));
    EXPECT_EQ(events, 9999);
    EXPECT_EQ(b.Read(), 'a');
    EXPECT_TRUE(b.Write('x'));
    EXPECT_FALSE(b.Write('y'));
}

TEST(CharBuf, WrapAroundDeleteAndClear) {
    TCharBuf b = MakeRing(4);
    // Move the positions to the end of the ring.
    for (int i = 0; i < 3; ++i) {
        b.Write('.');
        b.Read();
    }
    EXPECT_EQ(b.WritePos(), 3u);
    b.Write('p');  // lands in the last slot, write position wraps to 0
    EXPECT_EQ(b.WritePos(), 0u);
    EXPECT_EQ(b.DeleteLast(), 'p');
    EXPECT_EQ(b.WritePos(), 3u);
    EXPECT_FALSE(b.HasData());

    b.Write('q');
    b.Write('r');  // write position 1, read position 3
    ASSERT_LT(b.WritePos(), b.ReadPos());
    EXPECT_EQ(b.Clear(), 2);
    EXPECT_FALSE(b.HasData());
    EXPECT_EQ(b.Read(), '\0');
    EXPECT_TRUE(b.Write('s'));
    EXPECT_EQ(b.Read(), 's');
}

TEST(CharBuf, DeleteLastCannotTakeBackReadCharacters) {
    TCharBuf b = MakeRing(16);
    b.Write('a');
    b.Write('b');
    b.Read();
    b.Read();
    const uint32_t w = b.WritePos();
    EXPECT_EQ(b.DeleteLast(), '\0');
    EXPECT_EQ(b.WritePos(), w);
    EXPECT_EQ(b.Count(), 0);
}

TEST(CharBuf, SizeAndReserveSetters) {
    TCharBuf b;
    EXPECT_EQ(b.BufferSize(), 128);
    EXPECT_EQ(b.FillRest(), 0);
    b.SetFillRest(500);
    EXPECT_EQ(b.FillRest(), 127);
    b.SetFillRest(-3);
    EXPECT_EQ(b.FillRest(), 127);
    b.SetFillRest(1);

    // Resizing drops what was queued instead of leaving stale positions.
    b.Write('a');
    b.Write('b');
    b.SetBufferSize(3);
    EXPECT_FALSE(b.HasData());
    EXPECT_TRUE(b.Write('x'));
    EXPECT_TRUE(b.Write('y'));
    EXPECT_FALSE(b.Write('z'));

    // An unusable size refuses everything without crashing.
    b.SetBufferSize(0);
    EXPECT_FALSE(b.Allocated());
    EXPECT_FALSE(b.Write('a'));
    EXPECT_EQ(b.Read(), '\0');
    EXPECT_EQ(b.Clear(), 0);
}

}  // namespace
