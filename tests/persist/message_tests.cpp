#include "persist/message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/persist/failing_allocator.h"

namespace {

using testing::ElementsAre;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::vector<uint8_t> payloadOf(const Message& message)
{
    if (message.payload() == nullptr)
        return {};
    return std::vector<uint8_t>(message.payload(), message.payload() + message.payloadSize());
}

// A message filled the way the file reader fills one.
void fill(Message& message, const std::vector<uint8_t>& bytes)
{
    message.resize(static_cast<int32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), message.payload());
}

std::string pastEndLine(int readPos, int size, int capacity)
{
    return "Reading post the end of the message (readPos_=" + std::to_string(readPos) +
           " offset=0 size=1 size_=" + std::to_string(size) + " capacity_=" + std::to_string(capacity) + ")\n";
}

TEST(MessageEncoding, Int32IsStoredMostSignificantByteFirst)
{
    Message message;
    message.putInt32(0x0000D767);
    EXPECT_THAT(payloadOf(message), ElementsAre(0x00, 0x00, 0xD7, 0x67));
    EXPECT_EQ(message.size(), 4);
    EXPECT_EQ(message.writePos(), 4);
    EXPECT_EQ(message.capacity(), 128);
}

TEST(MessageEncoding, StringsAreZeroTerminatedWithoutLengthPrefix)
{
    Message message;
    message.putString("abc");
    message.putString("");
    message.putByte(0xFF);
    EXPECT_THAT(payloadOf(message), ElementsAre(0x61, 0x62, 0x63, 0x00, 0x00, 0xFF));
}

TEST(MessageEncoding, ValuesReadBackInWrittenOrderWithTheirSign)
{
    Message written;
    written.putInt32(-1);
    written.putInt32(INT32_MIN);
    written.putByte(200);
    written.putString("h\xE9llo");
    written.putInt32(0x01020304);
    EXPECT_THAT(std::vector<uint8_t>(written.payload(), written.payload() + 4), ElementsAre(0xFF, 0xFF, 0xFF, 0xFF));

    Message read;
    fill(read, payloadOf(written));
    EXPECT_EQ(read.getInt32(), -1);
    EXPECT_EQ(read.getInt32(), INT32_MIN);
    uint8_t byte = 0;
    read.getByte(byte);
    EXPECT_EQ(byte, 200);
    EXPECT_EQ(read.getString(), "h\xE9llo");
    EXPECT_EQ(read.getInt32(), 0x01020304);
    EXPECT_EQ(read.readPos(), read.payloadSize());
}

TEST(MessageGrowth, SequentialBytesGrowByDoublingThenByKilobyteSteps)
{
    Message message;
    std::vector<int32_t> steps;
    for (int i = 0; i < 6000; ++i) {
        message.putByte(static_cast<uint8_t>(i));
        if (steps.empty() || steps.back() != message.capacity())
            steps.push_back(message.capacity());
    }
    EXPECT_THAT(steps, ElementsAre(128, 256, 512, 1024, 2048, 3073, 4098, 5123, 6148));
    // 129 bytes need 256, 2049 bytes 3073; every reallocation kept what was written before it.
    const std::vector<uint8_t> payload = payloadOf(message);
    ASSERT_EQ(payload.size(), 6000u);
    for (int i = 0; i < 6000; ++i)
        ASSERT_EQ(payload[i], static_cast<uint8_t>(i)) << "at " << i;
}

TEST(MessageGrowth, LongStringGrowsInOneStepAndLeavesAtMostAKilobyteOfSlack)
{
    Message message;
    message.putString(std::string(5000, 'x'));
    EXPECT_EQ(message.size(), 5001);
    EXPECT_EQ(message.capacity(), 6024);

    Message small;
    small.putString(std::string(200, 'y'));
    EXPECT_EQ(small.capacity(), 256);
}

TEST(MessageResize, ZeroOnANewMessageHoldsNothingAndReadsArePastTheEnd)
{
    Message message;
    message.resize(0);
    EXPECT_EQ(message.capacity(), 0);
    EXPECT_EQ(message.size(), 0);
    EXPECT_EQ(message.payload(), nullptr);

    uint8_t byte = 42;
    CaptureStderr();
    message.getByte(byte);
    EXPECT_EQ(GetCapturedStderr(), pastEndLine(0, 0, 0));
    EXPECT_EQ(byte, 42);
}

TEST(MessageResize, ZeroReleasesTheStorageOfAWrittenMessage)
{
    Message message;
    message.putString(std::string(300, 'z'));
    message.resize(0);
    EXPECT_EQ(message.capacity(), 0);
    EXPECT_EQ(message.payload(), nullptr);
    EXPECT_EQ(message.payloadSize(), 0);
}

TEST(MessageResize, ShrinkingKeepsTheStorageAndGrowingForReadingAllocates)
{
    Message message;
    message.putString(std::string(300, 'z'));
    ASSERT_EQ(message.capacity(), 512);
    message.resize(10);
    EXPECT_EQ(message.size(), 10);
    EXPECT_EQ(message.capacity(), 512);

    Message forReading;
    forReading.resize(6);
    EXPECT_EQ(forReading.size(), 6);
    EXPECT_EQ(forReading.capacity(), 128);
    EXPECT_EQ(forReading.writePos(), 0);
}

TEST(MessagePastTheEnd, Int32MissingItsLastByteLogsOnceAndReadsTheMissingByteAsZero)
{
    Message message;
    fill(message, {0x12, 0x34, 0x56});
    CaptureStderr();
    const int32_t value = message.getInt32();
    EXPECT_EQ(GetCapturedStderr(), pastEndLine(3, 3, 128));
    EXPECT_EQ(value, 0x12345600);
    EXPECT_EQ(message.readPos(), 3);
}

TEST(MessagePastTheEnd, Int32AtTheEndLogsFourLinesAndReadsZero)
{
    Message message;
    fill(message, {0x7F});
    uint8_t byte = 0;
    message.getByte(byte);
    CaptureStderr();
    const int32_t value = message.getInt32();
    const std::string line = pastEndLine(1, 1, 128);
    EXPECT_EQ(GetCapturedStderr(), line + line + line + line);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(message.readPos(), 1);
}

TEST(MessagePastTheEnd, ByteDestinationKeepsItsValue)
{
    Message message;
    fill(message, {0x01});
    uint8_t byte = 0;
    message.getByte(byte);
    byte = 0xAB;
    CaptureStderr();
    message.getByte(byte);
    GetCapturedStderr();
    EXPECT_EQ(byte, 0xAB);
}

TEST(MessagePastTheEnd, StringWithoutTerminatorEndsAtTheDataQuietly)
{
    Message message;
    fill(message, {0x61, 0x62});
    CaptureStderr();
    EXPECT_EQ(message.getString(), "ab");
    EXPECT_EQ(message.getString(), "");
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(message.readPos(), 2);
    EXPECT_TRUE(message.truncated());
}

TEST(MessagePastTheEnd, ReadingExactlyToTheEndIsNotTruncation)
{
    Message message;
    fill(message, {0x00, 0x00, 0x00, 0x05, 0x61, 0x00, 0x07});
    EXPECT_EQ(message.getInt32(), 5);
    EXPECT_EQ(message.getString(), "a");
    uint8_t byte = 0;
    message.getByte(byte);
    EXPECT_FALSE(message.truncated());

    CaptureStderr();
    message.getByte(byte);
    GetCapturedStderr();
    EXPECT_TRUE(message.truncated());
}

TEST(MessageOutOfMemory, FirstAllocationFailingLeavesAnEmptyFailedBuffer)
{
    FailingAllocator allocator(0);
    Message message;
    CaptureStderr();
    message.putInt32(0x0000D767);
    EXPECT_EQ(GetCapturedStderr(), "Out of memory for Message allocation (need 128 bytes)\n");
    EXPECT_TRUE(message.failed());
    EXPECT_EQ(message.payload(), nullptr);
    EXPECT_EQ(message.payloadSize(), 0);
    EXPECT_EQ(message.capacity(), 0);
}

TEST(MessageOutOfMemory, FailedBufferRefusesAllLaterWrites)
{
    Message message;
    {
        FailingAllocator allocator(1);
        message.putString(std::string(100, 'a'));
        CaptureStderr();
        message.putString(std::string(100, 'b'));
        EXPECT_EQ(GetCapturedStderr(), "Out of memory for Message allocation (need 256 bytes)\n");
    }
    // Even once memory is available again, nothing is written on top of the lost part.
    message.putByte(1);
    message.putInt32(2);
    message.putString("more");
    EXPECT_TRUE(message.failed());
    EXPECT_EQ(message.payload(), nullptr);
    EXPECT_EQ(message.payloadSize(), 0);

    uint8_t byte = 9;
    CaptureStderr();
    message.getByte(byte);
    EXPECT_EQ(GetCapturedStderr(), pastEndLine(0, 0, 0));
    EXPECT_EQ(byte, 9);
}

TEST(MessageOutOfMemory, ResizeForReadingThatFailsLeavesNothingToFill)
{
    FailingAllocator allocator(0);
    Message message;
    CaptureStderr();
    message.resize(1000);
    GetCapturedStderr();
    EXPECT_TRUE(message.failed());
    EXPECT_EQ(message.payload(), nullptr);
    EXPECT_EQ(message.payloadSize(), 0);
}

TEST(MessageOutOfMemory, SizeBeyondTheInt32RangeFailsWithoutOverflow)
{
    Message message;
    CaptureStderr();
    message.resize(INT32_MAX);
    EXPECT_EQ(GetCapturedStderr(), "Out of memory for Message allocation (need 2147483648 bytes)\n");
    EXPECT_TRUE(message.failed());
    EXPECT_EQ(message.payloadSize(), 0);
}

TEST(MessageOutOfMemory, AHealthyMessageHasNotFailed)
{
    Message message;
    message.putString(std::string(10000, 'q'));
    EXPECT_FALSE(message.failed());
}

}  // namespace
