#include "tool/tool_files.h"

#include <istream>
#include <iterator>
#include <ostream>

#include "persist/config_file.h"
#include "persist/save_temporaries.h"

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
    const FilePath target = toFilePath(path);
    FilePath temporary;
    const int file = createSaveTemporary(target, temporary);
    bool written = file >= 0 &&
                   writeAll(file, reinterpret_cast<const uint8_t*>(content.data()), static_cast<int32_t>(content.size())) &&
                   flushToDisk(file);
    if (file >= 0)
        written = closeFile(file) && written;
    written = written && replaceFile(temporary, target) == ReplaceAttempt::done;
    if (!written) {
        if (file >= 0)
            removeFile(temporary);
        io.err << path << ": cannot be written; an old file is kept\n";
    }
    return written;
}

std::string saveFailureCause(const SaveResult& result)
{
    const std::string path = utf8Path(result.path);
    switch (result.fault) {
    case SaveFault::held:
        return "in use by " + (result.holder.empty() ? std::string("another program") : utf8Path(result.holder));
    case SaveFault::readOnly:
        return "read-only";
    case SaveFault::folderNotWritable:
        return "no file may be created in " + path;
    case SaveFault::diskFull:
        return "the disk is full";
    case SaveFault::tooLarge:
        return "the presets are " + std::to_string(result.bytesOver) + " bytes too large for config.dat";
    case SaveFault::failedPartWay:
        return "writing into it broke off part way; the complete presets are kept in " + utf8Path(result.completeCopy);
    case SaveFault::none:
    case SaveFault::notWritten:
        break;
    }
    return "cannot be written";
}

std::string saveFailureLine(const std::string& config, const SaveResult& result)
{
    return config + ": " + saveFailureCause(result) +
           (result.fault == SaveFault::failedPartWay ? "" : "; the previous file is kept");
}
