// Writing and reading the largest config.dat the format allows, beside plain
// file output and input of the same number of bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "persist/config_file.h"
#include "tests/config/config_test_support.h"

namespace {

// The longest texts the preset page lets the user type.
const size_t kNameLength = 40;
const size_t kHostLength = 128;
const size_t kStreamNameLength = 250;

void fillToTheLimits(StreamSettings& preset, int number)
{
    preset.setName(std::string(kNameLength, static_cast<char>('A' + number % 26)));
    for (int protocol = 0; protocol < preset.endpointCount(); ++protocol) {
        preset.selectProtocol(protocol);
        preset.setHost(std::string(kHostLength, 'h'));
        preset.setPort(65535);
        preset.setStreamName(std::string(kStreamNameLength, 's'));
    }
}

// As many presets with full-length texts as fit the 16-bit body length. Every
// endpoint carries full texts, the "off" one included, so that each record is
// as large as one can be.
class LargestFile {
public:
    LargestFile()
    {
        presets_.resize(0);
        std::vector<uint8_t> bytes;
        while (presets_.count() < StreamSettingsSet::kMaxPresets) {
            presets_.resize(presets_.count() + 1);
            StreamSettings& added = presets_.at(presets_.count() - 1);
            fillToTheLimits(added, presets_.count());
            if (!writeConfigBytes(presets_, bytes)) {
                presets_.resize(presets_.count() - 1);
                break;
            }
        }
        writeConfigBytes(presets_, bytes_);
        storeBytes(directory_.path() / "config.dat", bytes_);
        storeBytes(directory_.path() / "plain.dat", bytes_);
    }

    StreamSettingsSet& presets() { return presets_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    FilePath path(const char* name) const { return directory_.file(name); }

private:
    TemporaryDirectory directory_;
    StreamSettingsSet presets_{1};
    std::vector<uint8_t> bytes_;
};

LargestFile& largestFile()
{
    static LargestFile file;
    return file;
}

void reportSize(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(largestFile().bytes().size()));
    state.counters["presets"] = largestFile().presets().count();
    state.counters["file_bytes"] = static_cast<double>(largestFile().bytes().size());
}

void BM_ConfigWrite(benchmark::State& state)
{
    const FilePath path = largestFile().path("config.dat");
    for (auto _ : state) {
        if (!writeConfigFile(largestFile().presets(), path))
            state.SkipWithError("writeConfigFile failed");
    }
    reportSize(state);
}

void BM_PlainWrite(benchmark::State& state)
{
    const FilePath path = largestFile().path("plain.dat");
    const std::vector<uint8_t>& bytes = largestFile().bytes();
    for (auto _ : state) {
        const int file = createForWriting(path);
        const int32_t written = writeSome(file, bytes.data(), static_cast<int32_t>(bytes.size()));
        closeFile(file);
        if (written != static_cast<int32_t>(bytes.size()))
            state.SkipWithError("plain write failed");
    }
    reportSize(state);
}

void BM_ConfigRead(benchmark::State& state)
{
    const FilePath path = largestFile().path("config.dat");
    StreamSettingsSet presets(1);
    for (auto _ : state) {
        if (!readConfigFile(presets, path))
            state.SkipWithError("readConfigFile failed");
    }
    reportSize(state);
}

void BM_PlainRead(benchmark::State& state)
{
    const FilePath path = largestFile().path("plain.dat");
    std::vector<uint8_t> buffer(largestFile().bytes().size());
    for (auto _ : state) {
        const int file = openForReading(path);
        const int32_t received = readSome(file, buffer.data(), static_cast<int32_t>(buffer.size()));
        closeFile(file);
        if (received != static_cast<int32_t>(buffer.size()))
            state.SkipWithError("plain read failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    reportSize(state);
}

// The same work without the file, to tell the layout's cost from the disk's.
void BM_ConfigCompose(benchmark::State& state)
{
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        if (!writeConfigBytes(largestFile().presets(), bytes))
            state.SkipWithError("writeConfigBytes failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    reportSize(state);
}

void BM_ConfigParse(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = largestFile().bytes();
    StreamSettingsSet presets(1);
    for (auto _ : state) {
        if (!readConfigBytes(presets, bytes.data(), bytes.size()))
            state.SkipWithError("readConfigBytes failed");
    }
    reportSize(state);
}

BENCHMARK(BM_ConfigWrite);
BENCHMARK(BM_PlainWrite);
BENCHMARK(BM_ConfigRead);
BENCHMARK(BM_PlainRead);
BENCHMARK(BM_ConfigCompose);
BENCHMARK(BM_ConfigParse);

}  // namespace

BENCHMARK_MAIN();
