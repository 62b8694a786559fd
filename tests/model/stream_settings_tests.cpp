#include "model/stream_settings.h"

#include "model/protocol_table.h"
#include "persist/message.h"

#include <gtest/gtest.h>

namespace {

constexpr int kOff = 0, kTsUdp = 1, kTsMulti = 2, kTsTcp = 3, kRtspUdp = 5, kRtspMulti = 6,
              kRtspTcp = 7, kCdsUdp = 8;

// A record as the file reader makes it: `endpoints` endpoints, endpoint i
// with host "h<i>", port 1000 + i and stream name "s<i>".
StreamSettings loadedRecord(int endpoints, int32_t protocol = kOff)
{
    Message message;
    message.putInt32(0x0000FD4A);
    message.putString("Loaded");
    message.putByte(static_cast<uint8_t>(protocol));
    message.putByte(0);
    message.putByte(0);
    message.putInt32(0);
    message.putInt32(0);
    message.putByte(static_cast<uint8_t>(endpoints));
    for (int i = 0; i < endpoints; ++i) {
        message.putInt32(0x00006736);
        message.putString("h" + std::to_string(i));
        message.putInt32(1000 + i);
        message.putString("s" + std::to_string(i));
    }
    StreamSettings record;
    EXPECT_TRUE(record.readFrom(message));
    EXPECT_EQ(record.endpointCount(), endpoints);
    return record;
}

StreamSettings withProtocol(int protocol)
{
    StreamSettings record;
    record.selectProtocol(protocol);
    record.clearChanged();
    return record;
}

TEST(StreamSettings, StartsAsAnUnchangedOffPresetWithTheTableDefaults)
{
    const StreamSettings record;
    EXPECT_EQ(record.name(), "");
    EXPECT_EQ(record.protocolKeyword(), "off");
    EXPECT_EQ(record.portText(), "");
    EXPECT_EQ(record.host(), "");
    EXPECT_EQ(record.jitterDelayText(), "0");
    EXPECT_EQ(record.lipSyncText(), "0");
    EXPECT_FALSE(record.sync());
    EXPECT_FALSE(record.autoJitter());
    EXPECT_FALSE(record.isChanged());
    ASSERT_EQ(record.endpointCount(), kProtocolCount);
    for (int index = 0; index < kProtocolCount; ++index) {
        const ProtocolInfo& info = *protocolInfo(index);
        EXPECT_EQ(record.endpoint(index).host_, info.defaultHost) << index;
        EXPECT_EQ(record.endpoint(index).port_, info.defaultPort) << index;
        EXPECT_EQ(record.endpoint(index).streamName_, info.defaultStreamName) << index;
    }
    EXPECT_EQ(&record.endpoint(-1), &record.endpoint(0));
    EXPECT_EQ(&record.endpoint(kProtocolCount), &record.endpoint(0));
}

TEST(StreamSettings, ProtocolOutsideTheTableSelectsOff)
{
    StreamSettings record;
    record.selectProtocol(10);
    record.selectProtocol(-1);
    EXPECT_EQ(record.protocol(), kOff);
    EXPECT_FALSE(record.isChanged());

    record = withProtocol(kRtspTcp);
    EXPECT_EQ(record.portText(), "554");
    record.selectProtocol(10);
    EXPECT_EQ(record.protocol(), kOff);
    EXPECT_TRUE(record.isChanged());
}

TEST(StreamSettings, RtspProtocolsShareHostPortAndStreamName)
{
    StreamSettings record = withProtocol(kRtspUdp);
    record.setHost("10.0.0.5");
    record.setPort(8554);
    record.setStreamName("cam");
    EXPECT_TRUE(record.isChanged());
    for (int index : {kRtspUdp, kRtspMulti, kRtspTcp}) {
        EXPECT_EQ(record.endpoint(index).host_, "10.0.0.5") << index;
        EXPECT_EQ(record.endpoint(index).port_, 8554) << index;
        EXPECT_EQ(record.endpoint(index).streamName_, "cam") << index;
    }
    record.selectProtocol(kRtspTcp);
    EXPECT_EQ(record.host(), "10.0.0.5");
    EXPECT_EQ(record.portText(), "8554");
    EXPECT_EQ(record.streamName(), "cam");
    EXPECT_EQ(record.endpoint(4).host_, "192.168.0.10");
}

TEST(StreamSettings, PlainTransportStreamsShareOnlyThePort)
{
    StreamSettings record = withProtocol(kTsUdp);
    record.setPort(5000);
    EXPECT_EQ(record.endpoint(kTsUdp).port_, 5000);
    EXPECT_EQ(record.endpoint(kTsTcp).port_, 5000);
    EXPECT_EQ(record.endpoint(kCdsUdp).port_, 9710);

    record.selectProtocol(kTsMulti);
    record.setPort(6000);
    record.setHost("239.1.1.1");
    EXPECT_EQ(record.endpoint(kTsMulti).port_, 6000);
    EXPECT_EQ(record.endpoint(kTsUdp).port_, 5000);
    EXPECT_EQ(record.endpoint(9).port_, 5000);
    EXPECT_EQ(record.endpoint(9).host_, "239.192.10.40");
}

TEST(StreamSettings, OnlyTheCurrentEndpointDecidesWhetherSharingIsAChange)
{
    // A loaded record whose RTSP endpoints disagree: storing the current
    // endpoint's own values evens them out without counting as a change.
    StreamSettings record;
    record.assignFrom(loadedRecord(kProtocolCount, kRtspUdp));
    record.clearChanged();
    record.setHost(record.host());
    record.setPort(1005);
    EXPECT_FALSE(record.isChanged());
    EXPECT_EQ(record.endpoint(kRtspMulti).host_, "h5");
    EXPECT_EQ(record.endpoint(kRtspTcp).port_, 1005);
    EXPECT_EQ(record.endpoint(kRtspTcp).streamName_, "s7");
}

TEST(StreamSettings, SettersRecordChangesButNeverClearThem)
{
    StreamSettings record;
    record.setName("");
    record.setSync(false);
    record.setJitterDelay(0);
    record.setLipSyncText("00");
    EXPECT_FALSE(record.isChanged());
    EXPECT_EQ(record.lipSyncText(), "00");

    record.setName("Cam");
    record.setName("");
    record.setName("");
    EXPECT_TRUE(record.isChanged());
    EXPECT_EQ(record.name(), "");
}

TEST(StreamSettings, SyncForcesAutomaticJitterAndKeepsTheOwnChoice)
{
    StreamSettings record;
    record.setSync(true);
    record.setAutoJitter(true);
    EXPECT_FALSE(record.autoJitter());
    EXPECT_EQ(record.jitterDelayText(), "auto");
    record.setJitterDelay(100);
    EXPECT_EQ(record.jitterDelay(), 0);

    record.setSync(false);
    EXPECT_EQ(record.jitterDelayText(), "0");
    record.setAutoJitter(true);
    record.setSync(true);
    record.setSync(false);
    EXPECT_TRUE(record.autoJitter());

    StreamSettings automatic;
    automatic.setAutoJitter(true);
    automatic.clearChanged();
    automatic.setJitterDelay(100);
    EXPECT_EQ(automatic.jitterDelay(), 0);
    EXPECT_FALSE(automatic.isChanged());
}

TEST(StreamSettings, LipSyncTextKeepsTheTypedTextAndTheParsedValue)
{
    StreamSettings record;
    record.setLipSyncText("0x10");
    EXPECT_EQ(record.lipSync(), 16);
    EXPECT_EQ(record.lipSyncText(), "0x10");
    EXPECT_TRUE(record.isChanged());
    record.validate();
    EXPECT_EQ(record.lipSyncText(), "16");
}

TEST(StreamSettings, ValidateClampsEveryValueIntoItsRange)
{
    StreamSettings record = withProtocol(kTsMulti);
    record.setPort(65536);
    record.selectProtocol(4);
    record.setPort(-1);
    record.setLipSyncText("-5000");
    record.setJitterDelay(4001);
    record.clearChanged();

    record.validate();
    EXPECT_EQ(record.endpoint(kTsMulti).port_, 65535);
    EXPECT_EQ(record.endpoint(4).port_, 0);
    EXPECT_EQ(record.jitterDelay(), 4000);
    EXPECT_EQ(record.lipSync(), -4000);
    EXPECT_EQ(record.lipSyncText(), "-4000");
    EXPECT_TRUE(record.isChanged());

    StreamSettings high;
    high.setLipSyncText("4001");
    high.clearChanged();
    high.validate();
    EXPECT_EQ(high.lipSync(), 4000);
    EXPECT_TRUE(high.isChanged());
}

TEST(StreamSettings, ValidateLeavesValuesInRangeAndRewritesOnlyTheText)
{
    StreamSettings record;
    record.setJitterDelay(-5);
    record.setLipSyncText("-0x10");
    record.clearChanged();
    record.validate();
    EXPECT_EQ(record.jitterDelay(), -5);
    EXPECT_EQ(record.lipSyncText(), "-16");
    EXPECT_FALSE(record.isChanged());
}

TEST(StreamSettings, CopiesCarryTheChangeFlag)
{
    StreamSettings record;
    record.setName("Cam");
    const StreamSettings copy(record);
    EXPECT_TRUE(copy.isChanged());
    StreamSettings assigned;
    assigned = record;
    EXPECT_TRUE(assigned.isChanged());
    EXPECT_EQ(assigned.name(), "Cam");
}

TEST(StreamSettings, AssignFromTakesOverValuesWithoutTheSetterRules)
{
    StreamSettings source = withProtocol(kRtspMulti);
    source.setName("Cam");
    source.setJitterDelay(300);
    source.setAutoJitter(true);
    source.setSync(true);
    source.setLipSyncText("-40");
    source.setHost("10.1.1.1");

    StreamSettings target;
    target.assignFrom(source);
    EXPECT_TRUE(target.isChanged());
    EXPECT_EQ(target.name(), "Cam");
    EXPECT_EQ(target.protocol(), kRtspMulti);
    EXPECT_TRUE(target.sync());
    EXPECT_TRUE(target.autoJitter());
    EXPECT_EQ(target.jitterDelay(), 300);
    EXPECT_EQ(target.lipSync(), -40);
    EXPECT_EQ(target.lipSyncText(), "-40");
    EXPECT_EQ(target.endpoint(kRtspTcp).host_, "10.1.1.1");

    // The same values again are no change.
    target.clearChanged();
    target.assignFrom(source);
    EXPECT_FALSE(target.isChanged());
}

TEST(StreamSettings, AssignFromReplacesAProtocolWithoutEndpointByOff)
{
    StreamSettings target = withProtocol(kTsUdp);
    target.assignFrom(loadedRecord(kProtocolCount, 200));
    EXPECT_EQ(target.protocol(), kOff);
    EXPECT_TRUE(target.isChanged());
}

TEST(StreamSettings, AssignFromKeepsTenEndpointsWhateverTheSourceHolds)
{
    StreamSettings fewer;
    fewer.assignFrom(loadedRecord(3));
    ASSERT_EQ(fewer.endpointCount(), kProtocolCount);
    EXPECT_EQ(fewer.endpoint(2).host_, "h2");
    EXPECT_EQ(fewer.endpoint(2).port_, 1002);
    EXPECT_EQ(fewer.endpoint(3).port_, 9710);
    EXPECT_EQ(fewer.endpoint(5).streamName_, "stream1");

    StreamSettings more;
    more.assignFrom(loadedRecord(12));
    ASSERT_EQ(more.endpointCount(), kProtocolCount);
    for (int index = 1; index < kProtocolCount; ++index)
        EXPECT_EQ(more.endpoint(index).port_, 1000 + index) << index;
}

TEST(StreamSettings, ARecordWithoutEndpointsIsSafeToUse)
{
    StreamSettings empty = loadedRecord(0);
    EXPECT_EQ(empty.host(), "");
    EXPECT_EQ(empty.endpoint(3).port_, 0);
    empty.selectProtocol(kRtspUdp);
    EXPECT_EQ(empty.protocol(), kOff);
    empty.setPort(1234);
    EXPECT_EQ(empty.endpoint(0).port_, 0);
    empty.validate();
    empty.assignFrom(StreamSettings());
    EXPECT_EQ(empty.endpointCount(), 0);

    StreamSettings full;
    full.assignFrom(empty);
    EXPECT_EQ(full.endpoint(kRtspUdp).host_, "192.168.0.10");
}

// What was typed and lost stays with its field (and the endpoints sharing
// it) until that field changes; another field or preset with the same text
// knows nothing of it.
TEST(StreamSettings, UnheldTextStaysWithItsFieldUntilTheFieldChanges)
{
    const UnheldText snowman{L"cam\u2603", L"\u2603"};
    StreamSettings typed = withProtocol(kRtspTcp);
    typed.setHost("cam?");
    typed.rememberUnheld(TextField::host, snowman);
    StreamSettings other = withProtocol(kRtspTcp);
    other.setHost("cam?");
    EXPECT_EQ(other.unheld(TextField::host, kRtspTcp), nullptr);
    ASSERT_NE(typed.unheld(TextField::host, kRtspUdp), nullptr);
    EXPECT_EQ(typed.unheld(TextField::host, kRtspUdp)->typed, L"cam\u2603");
    EXPECT_EQ(typed.unheld(TextField::streamName, kRtspTcp), nullptr);
    EXPECT_EQ(typed.unheld(TextField::name), nullptr);

    typed.setHost("cam?");
    EXPECT_NE(typed.unheld(TextField::host, kRtspTcp), nullptr) << "the same text is no change";
    typed.selectProtocol(kRtspUdp);
    typed.setHost("cam");
    EXPECT_EQ(typed.unheld(TextField::host, kRtspTcp), nullptr) << "the shared host changed";

    typed.setName("Cam ?");
    typed.rememberUnheld(TextField::name, {L"Cam \u2603", L"\u2603"});
    typed.rememberUnheld(TextField::name, {L"Cam ?", L""});
    EXPECT_EQ(typed.unheld(TextField::name), nullptr) << "a text without losses forgets";
}

}  // namespace
