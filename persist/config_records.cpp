// The records of config.dat: one per preset, each followed by one per endpoint.
#include "model/stream_settings.h"
#include "model/text_conversion.h"
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

}  // namespace

void StreamEndpoint::writeTo(Message& message) const
{
    message.putInt32(kEndpointMagic);
    message.putString(host_);
    message.putInt32(port_);
    message.putString(streamName_);
}

bool StreamEndpoint::readFrom(Message& message)
{
    if (message.getInt32() != kEndpointMagic)
        return false;
    host_ = message.getString();
    port_ = message.getInt32();
    streamName_ = message.getString();
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

bool StreamSettings::readFrom(Message& message)
{
    if (message.getInt32() != kPresetMagic)
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
    endpoints_.clear();
    for (int index = 0; index < endpointCount; ++index) {
        StreamEndpoint endpoint;
        if (!endpoint.readFrom(message))
            return false;
        endpoints_.push_back(endpoint);
    }
    return true;
}
