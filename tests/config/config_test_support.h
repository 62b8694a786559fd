#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "model/stream_settings_set.h"
#include "persist/file_io.h"

// Spells out file content the way the format lays it out.
class Bytes {
public:
    Bytes& u8(uint8_t value)
    {
        data_.push_back(value);
        return *this;
    }
    Bytes& u32(uint32_t value)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            data_.push_back(static_cast<uint8_t>(value >> shift));
        return *this;
    }
    Bytes& str(const std::string& text)
    {
        data_.insert(data_.end(), text.begin(), text.end());
        data_.push_back(0);
        return *this;
    }
    Bytes& endpoint(const std::string& host, uint32_t port, const std::string& streamName)
    {
        return u32(0x6736).str(host).u32(port).str(streamName);
    }
    // A preset record with all ten default endpoints.
    Bytes& defaultPreset(const std::string& name)
    {
        u32(0xFD4A).str(name).u8(0).u8(0).u8(0).u32(0).u32(0).u8(10);
        endpoint("", 0, "").endpoint("", 9710, "").endpoint("239.192.10.40", 2000, "").endpoint("", 9710, "");
        endpoint("192.168.0.10", 5000, "");
        for (int rtsp = 0; rtsp < 3; ++rtsp)
            endpoint("192.168.0.10", 554, "stream1");
        return endpoint("", 9710, "").endpoint("239.192.10.40", 5000, "");
    }
    Bytes& append(const std::vector<uint8_t>& bytes)
    {
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // Header for the bytes so far, which become the body.
    std::vector<uint8_t> asFile(uint32_t bodyLength) const
    {
        std::vector<uint8_t> file = Bytes().u32(0xD767).u8(bodyLength >> 8).u8(bodyLength & 0xFF).data_;
        file.insert(file.end(), data_.begin(), data_.end());
        return file;
    }
    std::vector<uint8_t> asFile() const { return asFile(static_cast<uint32_t>(data_.size())); }
    const std::vector<uint8_t>& data() const { return data_; }

private:
    std::vector<uint8_t> data_;
};

// Everything a load should carry over, in one comparable text.
inline std::string describe(const StreamSettings& preset)
{
    std::ostringstream out;
    out << '"' << preset.name() << "\" protocol=" << preset.protocol() << " sync=" << preset.sync()
        << " auto=" << preset.autoJitter() << " jitter=" << preset.jitterDelay() << " lip=" << preset.lipSync()
        << '/' << preset.lipSyncText();
    for (int index = 0; index < preset.endpointCount(); ++index) {
        const StreamEndpoint& endpoint = preset.endpoint(index);
        out << " [" << endpoint.host_ << ':' << endpoint.port_ << '/' << endpoint.streamName_ << ']';
    }
    return out.str();
}

inline std::string describePresets(const StreamSettingsSet& presets)
{
    std::ostringstream out;
    out << "count=" << presets.count() << " current=" << int(presets.current_) << '\n';
    for (int index = 0; index < presets.count(); ++index)
        out << describe(presets.at(index)) << '\n';
    return out.str();
}

// Three presets that use most of what a record can hold.
inline void fillSample(StreamSettingsSet& presets)
{
    presets.resize(3);
    StreamSettings& rtsp = presets.at(0);
    rtsp.setName("Studio A");
    rtsp.selectProtocol(7);
    rtsp.setHost("cam-a.studio.local");
    rtsp.setPort(8554);
    rtsp.setStreamName("live/main");
    rtsp.setLipSyncText("-250");

    StreamSettings& multicast = presets.at(1);
    multicast.setName("Caf\xE9 \xABnord\xBB");  // code-page text above 127
    multicast.selectProtocol(2);
    multicast.setHost("239.1.2.3");
    multicast.setPort(1234);
    multicast.setJitterDelay(-5);
    multicast.setSync(true);

    StreamSettings& cds = presets.at(2);
    cds.setName("");
    cds.selectProtocol(9);
    cds.setJitterDelay(4000);
    cds.setAutoJitter(true);
    cds.setLipSyncText("4000");

    presets.setFlag_ = true;
    presets.current_ = 1;
    presets.clearChanged();
}

// A fresh directory for one test, removed with its content afterwards.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::filesystem::path& leafName = "riverra-config")
    {
        static int serial = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                (leafName.native() + toPathText("-" + std::to_string(stamp) + "-" + std::to_string(++serial)));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    FilePath file(const char* name) const { return (path_ / name).native(); }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        return names;
    }

private:
    static std::filesystem::path::string_type toPathText(const std::string& ascii)
    {
        return std::filesystem::path::string_type(ascii.begin(), ascii.end());
    }

    std::filesystem::path path_;
};

inline std::vector<uint8_t> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void storeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

#ifndef _WIN32
// A file-size limit makes the writes come up short, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_;
    void (*previousHandler_)(int);
};
#endif
