#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/stream_settings_set.h"
#include "persist/config_read_fault.h"
#include "persist/file_io.h"

// config.dat: a 6-byte header (magic, 16-bit body length) and a body with the
// set flag, the preset count, the current index and one record per preset.

// Writes the whole collection (clamping its current index to the presets).
// True when the file was written completely; on failure an existing file
// keeps its previous content.
bool writeConfigFile(StreamSettingsSet& presets, const FilePath& path);

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
