// The records of config.dat: one per preset, each followed by one per endpoint.
#include "model/protocol_table.h"
#include "model/stream_settings.h"
#include "model/text_conversion.h"
#include "persist/config_read_fault.h"
#include "persist/message.h"

namespace {

const int32_t kPresetMagic = 0x0000FD4A;
const int32_t kEndpointMagic = 0x00006736;

uint8_t takeByte(Message& message)
{
    uint8_t value = 0;
    message.getByte(value);
    return value;
}

int8_t takeSignedByte(Message& message)
{
    return static_cast<int8_t>(takeByte(message));
}

const char kEndOfBody[] = "the end of the body";

// Reads a record's magic number; false when it is not `magic`.
bool takeMagic(Message& message, int32_t magic, const char* what, ConfigReadFault* fault)
{
    const int32_t start = message.readPos();
    const int32_t value = message.getInt32();
    if (value == magic)
        return true;
    noteReadFault(fault, start, what + (" " + magicBytes(magic)), message.truncated() ? kEndOfBody : magicBytes(value));
    return false;
}

// A flag stored as a value other than 0 or 1 reads as true and is saved as 1.
bool takeFlag(Message& message, const char* name, ConfigReadFault* fault)
{
    const int32_t position = message.readPos();
    const uint8_t stored = takeByte(message);
    if (stored > 1)
        noteReadOtherwise(fault, position, std::string(name) + " is stored as " + std::to_string(stored) +
                                               "; a save stores 1");
    return stored != 0;
}

// The data ended within the fields just read.
void noteIfCutShort(const Message& message, const char* expected, ConfigReadFault* fault)
{
    if (message.truncated())
        noteReadFault(fault, message.payloadSize(), expected, kEndOfBody);
}

}  // namespace

void StreamEndpoint::writeTo(Message& message) const
{
    message.putInt32(kEndpointMagic);
    message.putString(host_);
    message.putInt32(port_);
    message.putString(streamName_);
}

bool StreamEndpoint::readFrom(Message& message, ConfigReadFault* fault)
{
    if (!takeMagic(message, kEndpointMagic, "endpoint magic", fault))
        return false;
    host_ = message.getString();
    port_ = message.getInt32();
    streamName_ = message.getString();
    noteIfCutShort(message, "the rest of the endpoint record", fault);
    return true;
}

void StreamSettings::writeTo(Message& message) const
{
    message.putInt32(kPresetMagic);
    message.putString(name_);
    message.putByte(static_cast<uint8_t>(protocol_));
    message.putByte(sync_ ? 1 : 0);
    message.putByte(autoJitter_ ? 1 : 0);
    message.putInt32(jitterDelay_);
    message.putInt32(lipSync_);
    message.putByte(static_cast<uint8_t>(endpoints_.size()));
    for (const StreamEndpoint& endpoint : endpoints_)
        endpoint.writeTo(message);
}

bool StreamSettings::readFrom(Message& message, ConfigReadFault* fault)
{
    if (!takeMagic(message, kPresetMagic, "preset magic", fault))
        return false;
    name_ = message.getString();
    const int32_t protocolAt = message.readPos();
    protocol_ = takeSignedByte(message);
    if (protocol_ < 0 || protocol_ >= kProtocolCount)
        noteReadOtherwise(fault, protocolAt, "the protocol is stored as " + std::to_string(protocol_) +
                                                 ", which is none; a save stores 0 (off)");
    sync_ = takeFlag(message, "sync", fault);
    autoJitter_ = takeFlag(message, "auto jitter", fault);
    jitterDelay_ = message.getInt32();
    lipSync_ = message.getInt32();
    lipSyncText_ = toDecimal(lipSync_);
    changed_ = false;

    const int32_t endpointCountAt = message.readPos();
    const int endpointCount = takeSignedByte(message);
    noteIfCutShort(message, "the rest of the preset record", fault);
    if (endpointCount != kProtocolCount && !message.truncated())
        noteReadOtherwise(fault, endpointCountAt, std::to_string(endpointCount) + " endpoints are stored; a save stores " +
                                                      std::to_string(kProtocolCount));
    endpoints_.clear();
    for (int index = 0; index < endpointCount; ++index) {
        readingRecord(fault, &ConfigReadFault::readingEndpoint, index);
        StreamEndpoint endpoint;
        if (!endpoint.readFrom(message, fault))
            return false;
        endpoints_.push_back(endpoint);
    }
    readingRecord(fault, &ConfigReadFault::readingEndpoint, -1);
    return true;
}
