#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Message;
struct ConfigReadFault;

// The longest texts the editor's fields take, in characters (UTF-16 units).
constexpr int kMaxNameCharacters = 40;
constexpr int kMaxHostCharacters = 128;
constexpr int kMaxStreamNameCharacters = 250;

// Host, port and stream name of one protocol within a preset.
struct StreamEndpoint {
    std::string host_;
    int32_t port_ = 0;
    std::string streamName_;

    void writeTo(Message& message) const;
    // False on a wrong magic; `fault`, when given, learns where the data went wrong.
    bool readFrom(Message& message, ConfigReadFault* fault = nullptr);
};

// One preset: its name, the selected protocol, one endpoint per protocol and
// the buffering settings. Every setter records whether it changed a value.
class StreamSettings {
public:
    StreamSettings();
    StreamSettings(const StreamSettings&) = default;
    StreamSettings& operator=(const StreamSettings&) = default;
    virtual ~StreamSettings() = default;

    // The endpoint at `index`, or the first one when the index is out of range.
    const StreamEndpoint& endpoint(int index) const;
    int endpointCount() const { return static_cast<int>(endpoints_.size()); }

    std::string name() const { return name_; }
    int32_t protocol() const { return protocol_; }
    std::string protocolKeyword() const;
    std::string host() const;
    std::string portText() const;
    std::string streamName() const;
    bool sync() const { return sync_; }
    bool autoJitter() const { return autoJitter_; }
    int32_t jitterDelay() const { return jitterDelay_; }
    std::string jitterDelayText() const;
    int32_t lipSync() const { return lipSync_; }
    std::string lipSyncText() const { return lipSyncText_; }
    bool isChanged() const { return changed_; }

    void setName(const std::string& name);
    void selectProtocol(int32_t index);
    void setHost(const std::string& host);
    void setPort(int32_t port);
    void setStreamName(const std::string& streamName);
    void setSync(bool on);
    void setAutoJitter(bool on);
    void setJitterDelay(int32_t milliseconds);
    void setLipSyncText(const std::string& text);

    // Takes one endpoint over as it is given, without the sharing rules, the
    // way a file that breaks them is read.
    void setEndpointAsGiven(int index, const StreamEndpoint& endpoint);

    void validate();
    void assignFrom(const StreamSettings& other);
    void clearChanged() { changed_ = false; }

    void writeTo(Message& message) const;
    // False on a wrong magic; `fault`, when given, learns where the data went wrong.
    bool readFrom(Message& message, ConfigReadFault* fault = nullptr);

private:
    StreamEndpoint& currentEndpoint();
    // Like `endpoint`, for writing.
    StreamEndpoint& editableEndpoint(int index);
    // Stands in for the first endpoint of a record that has none (only the
    // file reader makes such records); it is reset on every use, so edits
    // made through it go nowhere.
    StreamEndpoint& detachedEndpoint() const;
    // Copies one field's value into every endpoint of a protocol family.
    template <typename Value>
    void shareWithFamily(bool (*inFamily)(const std::string&), Value StreamEndpoint::*field,
                         const Value& value);

    std::string name_;
    std::vector<StreamEndpoint> endpoints_;
    int32_t protocol_ = 0;
    bool sync_ = false;
    bool autoJitter_ = false;
    int32_t jitterDelay_ = 0;
    int32_t lipSync_ = 0;
    std::string lipSyncText_ = "0";
    bool changed_ = false;
    mutable StreamEndpoint detachedEndpoint_;
};
