#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
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

// The fields of a preset that hold text.
enum class TextField { name, host, streamName };

// Text typed into a field that config.dat's code page cannot hold: the field
// stores it with '?' for each of the `lost` characters.
struct UnheldText {
    std::wstring typed;
    std::wstring lost;
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

    // Remembers what the text now stored in `field` was typed as, so that a
    // save can refuse it and the field can show it again; for host and
    // stream name that of the selected protocol and the endpoints sharing
    // it. A text without lost characters forgets, and so does any change of
    // the field; assignFrom takes over what the other preset remembers.
    void rememberUnheld(TextField field, const UnheldText& text);
    // What is remembered for `field` (of the endpoint of `protocol`); null when nothing.
    const UnheldText* unheld(TextField field, int protocol = 0) const;

    void validate();
    void assignFrom(const StreamSettings& other);
    void clearChanged() { changed_ = false; }

    void writeTo(Message& message) const;
    // False on a wrong magic; `fault`, when given, learns where the data went wrong.
    bool readFrom(Message& message, ConfigReadFault* fault = nullptr);

private:
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
    // Stores one field of the endpoint at `index`; true when that changed it.
    // A changed text forgets what was remembered of it.
    bool storeInEndpoint(int index, int32_t StreamEndpoint::*field, int32_t value);
    bool storeInEndpoint(int index, std::string StreamEndpoint::*field, const std::string& value);

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
    // By field and endpoint index (0 for the name).
    std::map<std::pair<TextField, int>, UnheldText> unheld_;
};
