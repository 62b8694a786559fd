#include "tool/tool_files.h"

#include <istream>
#include <iterator>
#include <ostream>

#include "persist/config_file.h"

namespace {

// Far beyond any presets file: a larger input is not read into memory.
constexpr size_t kMaxInputBytes = 16 * 1024 * 1024;

}  // namespace

bool loadConfig(const std::string& path, StreamSettingsSet& presets, ToolIo& io)
{
    ConfigReadFault fault;
    if (readConfigFile(presets, toFilePath(path), &fault))
        return true;
    if (fault.noted())
        io.err << path << ": not a config.dat the editor accepts: " << fault.describe() << '\n';
    else
        io.err << path << ": cannot be opened\n";
    return false;
}

bool readInput(const std::string& path, std::string& content, ToolIo& io)
{
    if (path == "-") {
        content.assign(std::istreambuf_iterator<char>(io.in), std::istreambuf_iterator<char>());
        return true;
    }
    const int file = openForReading(toFilePath(path));
    if (file < 0) {
        io.err << path << ": cannot be opened\n";
        return false;
    }
    content.clear();
    uint8_t buffer[16384];
    int32_t received = 0;
    while (content.size() <= kMaxInputBytes && (received = readSome(file, buffer, sizeof buffer)) > 0)
        content.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(received));
    closeFile(file);
    if (received < 0)
        io.err << path << ": cannot be read\n";
    else if (content.size() > kMaxInputBytes)
        io.err << path << ": larger than " << kMaxInputBytes << " bytes, far more than any presets file\n";
    return received >= 0 && content.size() <= kMaxInputBytes;
}

bool writeOutput(const std::string& path, const std::string& content, ToolIo& io)
{
    if (path.empty() || path == "-") {
        io.out << content;
        return true;
    }
    const int file = createForWriting(toFilePath(path));
    bool written = file >= 0 && writeAll(file, reinterpret_cast<const uint8_t*>(content.data()),
                                         static_cast<int32_t>(content.size()));
    if (file >= 0)
        written = closeFile(file) && written;
    if (!written)
        io.err << path << ": cannot be written\n";
    return written;
}

std::string counted(uint64_t count, const char* unit)
{
    return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}
