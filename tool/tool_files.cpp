#include "tool/tool_files.h"

#include <istream>
#include <ostream>

#include "persist/config_file.h"
#include "persist/save_temporaries.h"

namespace {

// Far beyond any presets file: a larger input is not read into memory.
constexpr size_t kMaxInputBytes = 16 * 1024 * 1024;

// "cannot be opened: No such file or directory"
std::string failedWith(const char* what, const std::string& reason)
{
    return reason.empty() ? std::string(what) : std::string(what) + ": " + reason;
}

// The content of the input stream, as far as any presets file goes.
bool readStream(std::string& content, ToolIo& io)
{
    content.clear();
    char buffer[16384];
    while (content.size() <= kMaxInputBytes && io.in.read(buffer, sizeof buffer).gcount() > 0)
        content.append(buffer, static_cast<size_t>(io.in.gcount()));
    if (content.size() > kMaxInputBytes)
        io.err << "standard input: larger than " << kMaxInputBytes << " bytes, far more than any presets file\n";
    else if (io.in.bad())
        io.err << "standard input: cannot be read\n";
    return content.size() <= kMaxInputBytes && !io.in.bad();
}

}  // namespace

std::string inputName(const std::string& path)
{
    return path == "-" ? "standard input" : path;
}

bool loadConfig(const std::string& path, StreamSettingsSet& presets, ToolIo& io, ConfigReadFault* reading)
{
    ConfigLoad load;
    if (path == "-") {
        std::string bytes;
        if (!readStream(bytes, io))
            return false;
        const bool accepted = readConfigBytes(presets, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                              &load.fault);
        load.outcome = accepted ? LoadOutcome::loaded : LoadOutcome::damaged;
    } else {
        load = loadConfigFile(presets, toFilePath(path));
    }
    switch (load.outcome) {
    case LoadOutcome::loaded:
        if (reading != nullptr)
            *reading = load.fault;
        return true;
    case LoadOutcome::damaged:
    case LoadOutcome::empty:
        io.err << inputName(path) << ": not a config.dat the editor accepts: " << load.fault.describe() << '\n';
        return false;
    case LoadOutcome::missing:
    case LoadOutcome::unreadable:
        break;
    }
    io.err << path << ": " << failedWith("cannot be opened", load.readReason) << '\n';
    return false;
}

bool readInput(const std::string& path, std::string& content, ToolIo& io)
{
    if (path == "-")
        return readStream(content, io);
    const int file = openForReading(toFilePath(path));
    if (file < 0) {
        io.err << path << ": " << failedWith("cannot be opened", lastFileReason()) << '\n';
        return false;
    }
    content.clear();
    uint8_t buffer[16384];
    int32_t received = 0;
    while (content.size() <= kMaxInputBytes && (received = readSome(file, buffer, sizeof buffer)) > 0)
        content.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(received));
    if (received < 0)
        io.err << path << ": " << failedWith("cannot be read", lastFileReason()) << '\n';
    closeFile(file);
    if (content.size() > kMaxInputBytes)
        io.err << path << ": larger than " << kMaxInputBytes << " bytes, far more than any presets file\n";
    return received >= 0 && content.size() <= kMaxInputBytes;
}

bool writeOutput(const std::string& path, const std::string& content, ToolIo& io)
{
    if (path.empty() || path == "-") {
        io.out << content;
        return true;
    }
    const FilePath target = linkTarget(toFilePath(path));
    const bool hadFile = pathExists(target);
    FilePath temporary;
    const int file = createSaveTemporary(target, temporary);
    bool written = file >= 0 &&
                   writeAll(file, reinterpret_cast<const uint8_t*>(content.data()), static_cast<int32_t>(content.size())) &&
                   flushToDisk(file);
    std::string reason = written ? std::string() : lastFileReason();
    if (file >= 0) {
        written = closeFile(file) && written;
        if (!written && reason.empty())
            reason = lastFileReason();
    }
    if (written && replaceFile(temporary, target) != ReplaceAttempt::done) {
        written = false;
        reason = lastFileReason();
    }
    if (!written) {
        if (file >= 0)
            removeFile(temporary);
        io.err << path << ": " << failedWith("cannot be written", reason)
               << (hadFile ? "; the old file is kept as it was\n" : "\n");
    }
    return written;
}

namespace {

// Why a save of config.dat failed: "read-only", "in use by ...".
std::string saveFailureCause(const SaveResult& result)
{
    const std::string path = utf8Path(result.path);
    switch (result.fault) {
    case SaveFault::held:
        return "in use by " + (result.holder.empty() ? std::string("another program") : utf8Path(result.holder));
    case SaveFault::readOnly:
        return "read-only";
    case SaveFault::folderNotWritable:
        return failedWith(("no file may be created in " + path).c_str(), result.reason);
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
    return failedWith("cannot be written", result.reason);
}

}  // namespace

std::string saveFailureLine(const std::string& config, const SaveResult& result, bool hadFile)
{
    const bool fileKept = hadFile && result.fault != SaveFault::failedPartWay;
    return config + ": " + saveFailureCause(result) + (fileKept ? "; the previous file is kept\n" : "\n");
}

