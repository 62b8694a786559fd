#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/stream_settings_set.h"
#include "persist/config_read_fault.h"
#include "persist/file_io.h"

// config.dat: a 6-byte header (magic, 16-bit body length) and a body with the
// set flag, the preset count, the current index and one record per preset.

// What stands at a path, told apart well enough to notice another program's save.
struct FileFingerprint {
    bool present = false;
    int64_t size = 0;
    int64_t writeTime = 0;  // 0: unknown, which matches any time
    uint64_t hash = 0;

    bool operator==(const FileFingerprint& other) const
    {
        return present == other.present && size == other.size &&
               (writeTime == other.writeTime || writeTime == 0 || other.writeTime == 0) && hash == other.hash;
    }
    bool operator!=(const FileFingerprint& other) const { return !(*this == other); }
};

// Why a save did not store the presets.
enum class SaveFault {
    none,
    held,               // another program holds config.dat: `holder` names it when the system tells
    readOnly,           // config.dat is marked read-only
    folderNotWritable,  // no file may be created in config.dat's folder
    diskFull,
    tooLarge,           // the body is `bytesOver` bytes longer than the format allows
    failedPartWay,      // the in-place write broke off: `completeCopy` holds the new presets
    notWritten,         // any other failure
};

struct SaveResult {
    SaveFault fault = SaveFault::none;
    FilePath path;  // the file or folder the fault concerns
    FilePath holder;
    int64_t bytesOver = 0;
    FilePath completeCopy;
    std::string reason;  // the system's words for the failure, where it gave any (UTF-8)
    // After a save: the bytes written, with the file's own write time read back.
    FileFingerprint written;

    explicit operator bool() const { return fault == SaveFault::none; }
};

// Writes the whole collection (clamping its current index to the presets)
// through a temporary file of its own beside the target; through a symbolic
// link, its target is replaced, with its owner and permissions. On failure an
// existing file keeps its previous content, except after `failedPartWay`.
SaveResult writeConfigFile(StreamSettingsSet& presets, const FilePath& path);

// False when a file is there but cannot be read; one that another program
// holds without sharing is tried again for up to two seconds first.
// `fault` then tells why.
bool fingerprintFile(const FilePath& path, FileFingerprint& fingerprint, FileFault& fault);

// True when the file at `path` holds exactly `bytes`.
bool fileHoldsBytes(const FilePath& path, const std::vector<uint8_t>& bytes);

enum class LoadOutcome { loaded, missing, empty, damaged, unreadable };

struct ConfigLoad {
    LoadOutcome outcome = LoadOutcome::missing;
    ConfigReadFault fault;        // where a damaged (or empty) file breaks
    FileFault readFault = FileFault::other;  // why an unreadable one could not be read
    std::string readReason;       // and the system's words for it (UTF-8)
    FileFingerprint fingerprint;  // of the bytes read
};

// Replaces the collection with the file's presets, as readConfigFile does. A
// file another program holds without sharing is tried again for up to two
// seconds before it counts as unreadable.
ConfigLoad loadConfigFile(StreamSettingsSet& presets, const FilePath& path);

// Replaces the collection with the file's presets. False for a missing or
// damaged file; the presets then stay as they were (the set flag is taken
// over as soon as it has been read). For a damaged file `fault`, when given,
// learns where the file went wrong; it stays unnoted when the file could not
// be opened.
bool readConfigFile(StreamSettingsSet& presets, const FilePath& path, ConfigReadFault* fault = nullptr);

// The same, on the bytes of a file held in memory.
bool writeConfigBytes(StreamSettingsSet& presets, std::vector<uint8_t>& bytes);
bool readConfigBytes(StreamSettingsSet& presets, const uint8_t* bytes, size_t size,
                     ConfigReadFault* fault = nullptr);
