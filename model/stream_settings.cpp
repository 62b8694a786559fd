#include "model/stream_settings.h"

#include "model/protocol_table.h"
#include "model/text_conversion.h"

#include <limits>

namespace {

constexpr int32_t kMaxPort = 65535;
constexpr int32_t kMaxJitterDelay = 4000;
constexpr int32_t kMaxLipSync = 4000;

// Stores `value` and reports whether that changed anything.
template <typename Value>
bool store(Value& target, const Value& value)
{
    if (target == value)
        return false;
    target = value;
    return true;
}

// Brings `value` into low..high and reports whether it had to.
bool clamp(int32_t& value, int32_t low, int32_t high)
{
    if (value < low)
        return store(value, low);
    if (value > high)
        return store(value, high);
    return false;
}

// A protocol index without an endpoint selects "off".
int32_t protocolOrOff(int32_t index, int endpointCount)
{
    return index >= 0 && index < endpointCount ? index : 0;
}

}  // namespace

StreamSettings::StreamSettings()
{
    endpoints_.reserve(kProtocolCount);
    for (int index = 0; index < kProtocolCount; ++index) {
        const ProtocolInfo& info = *protocolInfo(index);
        endpoints_.push_back({info.defaultHost, info.defaultPort, info.defaultStreamName});
    }
}

const StreamEndpoint& StreamSettings::endpoint(int index) const
{
    if (endpoints_.empty())
        return detachedEndpoint();
    const bool inRange = index >= 0 && index < endpointCount();
    return endpoints_[inRange ? index : 0];
}

StreamEndpoint& StreamSettings::editableEndpoint(int index)
{
    return const_cast<StreamEndpoint&>(static_cast<const StreamSettings&>(*this).endpoint(index));
}

StreamEndpoint& StreamSettings::detachedEndpoint() const
{
    detachedEndpoint_ = StreamEndpoint();
    return detachedEndpoint_;
}

template <typename Value>
void StreamSettings::shareWithFamily(bool (*inFamily)(const std::string&), Value StreamEndpoint::*field,
                                     const Value& value)
{
    // Only the current endpoint counts as a change; the copies follow it.
    for (int index = 0; index < endpointCount() && index < kProtocolCount; ++index) {
        if (inFamily(::protocolKeyword(index)))
            storeInEndpoint(index, field, value);
    }
}

bool StreamSettings::storeInEndpoint(int index, int32_t StreamEndpoint::*field, int32_t value)
{
    return store(editableEndpoint(index).*field, value);
}

bool StreamSettings::storeInEndpoint(int index, std::string StreamEndpoint::*field, const std::string& value)
{
    if (!store(editableEndpoint(index).*field, value))
        return false;
    unheld_.erase({field == &StreamEndpoint::host_ ? TextField::host : TextField::streamName, index});
    return true;
}

void StreamSettings::rememberUnheld(TextField field, const UnheldText& text)
{
    std::vector<int> indexes = {field == TextField::name ? 0 : protocol_};
    const std::string keyword = protocolKeyword();
    if (field != TextField::name && isRtspKeyword(keyword)) {
        for (int index = 0; index < endpointCount() && index < kProtocolCount; ++index) {
            if (isRtspKeyword(::protocolKeyword(index)))
                indexes.push_back(index);
        }
    }
    for (int index : indexes) {
        if (text.lost.empty())
            unheld_.erase({field, index});
        else
            unheld_[{field, index}] = text;
    }
}

const UnheldText* StreamSettings::unheld(TextField field, int protocol) const
{
    const auto found = unheld_.find({field, field == TextField::name ? 0 : protocol});
    return found == unheld_.end() ? nullptr : &found->second;
}

std::string StreamSettings::protocolKeyword() const
{
    return ::protocolKeyword(protocol_);
}

std::string StreamSettings::host() const
{
    return endpoint(protocol_).host_;
}

std::string StreamSettings::portText() const
{
    if (protocolKeyword() == "off")
        return "";
    return toDecimal(endpoint(protocol_).port_);
}

std::string StreamSettings::streamName() const
{
    return endpoint(protocol_).streamName_;
}

std::string StreamSettings::jitterDelayText() const
{
    if (sync_ || autoJitter_)
        return "auto";
    return toDecimal(jitterDelay_);
}

void StreamSettings::setName(const std::string& name)
{
    if (!store(name_, name))
        return;
    changed_ = true;
    unheld_.erase({TextField::name, 0});
}

void StreamSettings::selectProtocol(int32_t index)
{
    changed_ |= store(protocol_, protocolOrOff(index, endpointCount()));
}

void StreamSettings::setHost(const std::string& host)
{
    changed_ |= storeInEndpoint(protocol_, &StreamEndpoint::host_, host);
    if (isRtspKeyword(protocolKeyword()))
        shareWithFamily(isRtspKeyword, &StreamEndpoint::host_, host);
}

void StreamSettings::setPort(int32_t port)
{
    changed_ |= storeInEndpoint(protocol_, &StreamEndpoint::port_, port);
    const std::string keyword = protocolKeyword();
    if (isPlainTsKeyword(keyword))
        shareWithFamily(isPlainTsKeyword, &StreamEndpoint::port_, port);
    else if (isRtspKeyword(keyword))
        shareWithFamily(isRtspKeyword, &StreamEndpoint::port_, port);
}

void StreamSettings::setStreamName(const std::string& streamName)
{
    changed_ |= storeInEndpoint(protocol_, &StreamEndpoint::streamName_, streamName);
    if (isRtspKeyword(protocolKeyword()))
        shareWithFamily(isRtspKeyword, &StreamEndpoint::streamName_, streamName);
}

void StreamSettings::setSync(bool on)
{
    changed_ |= store(sync_, on);
}

void StreamSettings::setAutoJitter(bool on)
{
    // Synchronised sources always buffer automatically; the own choice is
    // kept for when synchronisation is switched off again.
    if (sync_)
        return;
    changed_ |= store(autoJitter_, on);
}

void StreamSettings::setJitterDelay(int32_t milliseconds)
{
    if (sync_ || autoJitter_)
        return;
    changed_ |= store(jitterDelay_, milliseconds);
}

void StreamSettings::setLipSyncText(const std::string& text)
{
    // The text is kept as typed; only its value decides whether it is a change.
    changed_ |= store(lipSync_, parseNumber(text));
    lipSyncText_ = text;
}

void StreamSettings::setEndpointAsGiven(int index, const StreamEndpoint& endpoint)
{
    changed_ |= storeInEndpoint(index, &StreamEndpoint::host_, endpoint.host_);
    changed_ |= storeInEndpoint(index, &StreamEndpoint::port_, endpoint.port_);
    changed_ |= storeInEndpoint(index, &StreamEndpoint::streamName_, endpoint.streamName_);
}

void StreamSettings::validate()
{
    for (StreamEndpoint& each : endpoints_)
        changed_ |= clamp(each.port_, 0, kMaxPort);
    // No lower bound for the delay: a negative one is kept.
    changed_ |= clamp(jitterDelay_, std::numeric_limits<int32_t>::min(), kMaxJitterDelay);
    changed_ |= clamp(lipSync_, -kMaxLipSync, kMaxLipSync);
    lipSyncText_ = toDecimal(lipSync_);
}

void StreamSettings::assignFrom(const StreamSettings& other)
{
    setName(other.name_);
    changed_ |= store(protocol_, protocolOrOff(other.protocol_, endpointCount()));
    changed_ |= store(sync_, other.sync_);
    changed_ |= store(autoJitter_, other.autoJitter_);
    changed_ |= store(jitterDelay_, other.jitterDelay_);
    setLipSyncText(other.lipSyncText_);
    // Endpoint by endpoint, without the sharing rules: the other record's
    // values already obey them, or are taken over as they are.
    for (int index = 0; index < other.endpointCount(); ++index)
        setEndpointAsGiven(index, other.endpoints_[index]);
    unheld_ = other.unheld_;
}
