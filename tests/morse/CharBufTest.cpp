#include "morse/CharBuf.h"

#include <gtest/gtest.h>

namespace {

TEST(CharBuf, ReserveKeepsOneSlotFree) {
    TCharBuf b;
    b.SetBufferSize(10000);
    b.SetFillRest(1);
    int events = 0;
    b.onNewChar = [&] { ++events; };
    for (int i = 0; i < 9999; ++i)
        ASSERT_TRUE(b.Write(static_cast<char>('a' + i % 26))) << i;
    EXPECT_TRUE(b.IsFull());
    EXPECT_FALSE(b.Write('x'));
    EXPECT_EQ(events, 9999);
    EXPECT_EQ(b.Read(), 'a');
    EXPECT_TRUE(b.Write('x'));
    EXPECT_FALSE(b.Write('y'));

    // Resizing drops what was queued.
    b.SetBufferSize(3);
    EXPECT_FALSE(b.HasData());
    EXPECT_TRUE(b.Write('x') && b.Write('y'));
    EXPECT_FALSE(b.Write('z'));
    // An unusable size refuses everything without crashing.
    b.SetBufferSize(0);
    EXPECT_FALSE(b.Write('a'));
    EXPECT_EQ(b.Read(), '\0');
    EXPECT_EQ(b.Clear(), 0);
}

TEST(CharBuf, ReserveClampedBelowTheSize) {
    TCharBuf b;  // 128 slots
    for (int32_t rest : {500, -3}) {
        b.SetFillRest(rest);
        EXPECT_EQ(b.FillRest(), 127) << rest;
    }
}

TEST(CharBuf, WrapAroundDeleteAndClear) {
    TCharBuf b;
    b.SetBufferSize(4);
    b.SetFillRest(1);
    for (int i = 0; i < 3; ++i)
        b.Write('.'), b.Read();  // positions to the end of the ring
    b.Write('p');                // lands in the last slot, write position wraps to 0
    EXPECT_EQ(b.WritePos(), 0u);
    EXPECT_EQ(b.DeleteLast(), 'p');
    EXPECT_EQ(b.WritePos(), 3u);
    EXPECT_EQ(b.DeleteLast(), '\0');  // read characters cannot be taken back
    EXPECT_EQ(b.WritePos(), 3u);

    b.Write('q');
    b.Write('r');  // write position 1, read position 3
    ASSERT_LT(b.WritePos(), b.ReadPos());
    EXPECT_EQ(b.Clear(), 2);
    EXPECT_FALSE(b.HasData());
    EXPECT_EQ(b.Read(), '\0');
    EXPECT_TRUE(b.Write('s'));
    EXPECT_EQ(b.Read(), 's');
}

}  // namespace
