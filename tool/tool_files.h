#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "model/stream_settings_set.h"
#include "persist/file_io.h"

struct ConfigReadFault;
struct SaveResult;

// The streams a command works with; the entry points bind them to the
// process's standard streams, the tests to strings.
struct ToolIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// Exit codes of every command.
enum ExitCode {
    kDone = 0,
    kInputRefused = 1,  // the JSON or config.dat was refused; nothing written
    kWrongUsage = 2,
    kNotWritten = 3,  // a file or standard output could not be written; the message says which
    kWouldChange = 4, // import --dry-run: config.dat would change
    // probe: its own meanings of 1 and 3, and Ctrl+C as a shell reports SIGINT
    kSourceFailed = 1,
    kConfigUnreadable = 3,
    kInterrupted = 130,
};

// A path given on the command line (UTF-8) as the platform opens it.
FilePath toFilePath(const std::string& utf8);
// And back, for the streams.
std::string utf8Path(const FilePath& path);

// How messages name a file argument: "standard input" for "-".
std::string inputName(const std::string& path);

// Reads config.dat with the editor's reader, from the input stream for "-".
// On refusal it says on the error stream what is wrong and where, or why the
// file cannot be read, and returns false. `reading`, when given, learns the
// values the reader took other than stored.
bool loadConfig(const std::string& path, StreamSettingsSet& presets, ToolIo& io, ConfigReadFault* reading = nullptr);

// The whole content of a file, or of the input stream for "-". False, with a
// line on the error stream, when it cannot be read.
bool readInput(const std::string& path, std::string& content, ToolIo& io);

// Writes `content` to a file through a temporary file beside it, so that a
// failure keeps an old file as it was, or to the output stream for "-"/no
// path. A symbolic link keeps pointing at the file, which keeps its owner and
// permissions. False, with a line on the error stream, when it cannot be written.
bool writeOutput(const std::string& path, const std::string& content, ToolIo& io);

// The line of a failed save of config.dat at `config`: why, and whether the
// file that was there (`hadFile`) is kept.
std::string saveFailureLine(const std::string& config, const SaveResult& result, bool hadFile);
