// The records of config.dat: one per preset, each followed by one per endpoint.
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
    protocol_ = takeSignedByte(message);
    sync_ = takeByte(message) != 0;
    autoJitter_ = takeByte(message) != 0;
    jitterDelay_ = message.getInt32();
    lipSync_ = message.getInt32();
    lipSyncText_ = toDecimal(lipSync_);
    changed_ = false;

    const int endpointCount = takeSignedByte(message);
    noteIfCutShort(message, "the rest of the preset record", fault);
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
