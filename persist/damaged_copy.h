#pragma once

#include "persist/file_io.h"

// A config.dat that the reader rejected may still hold presets worth
// recovering by hand, so the save that replaces it first keeps its bytes
// beside it.

// What stands at a path whose file the reader rejected.
enum class RejectedFile { missing, empty, unreadable, damaged };
RejectedFile examineRejectedFile(const FilePath& path);

// Copies the file at `path` byte for byte to "<path>.damaged", or when that
// name is taken to the first free "<path>.damaged.1", ".2", ...; an existing
// file is never replaced. True when the copy is complete, or when nothing is
// at `path` any more; on failure no partial copy is left.
bool keepDamagedCopy(const FilePath& path);
