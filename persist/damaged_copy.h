#pragma once

#include "persist/file_io.h"

// A config.dat that the reader rejected may still hold presets worth
// recovering by hand, so the save that replaces it first keeps its bytes
// beside it; so does a save that replaces another program's presets.

// The name keepDamagedCopy would give the copy now: "<path>.damaged", or the
// first free "<path>.damaged.1", ".2", ...
FilePath damagedCopyName(const FilePath& path);

// Copies the file at `path` byte for byte to damagedCopyName(path); an
// existing file is never replaced. True when the copy is complete, or when
// nothing is at `path` any more; on failure no partial copy is left.
bool keepDamagedCopy(const FilePath& path);

// Copies the file at `path` to "<path>.replaced", over an earlier copy. True
// when the copy is complete, or when nothing is at `path` any more.
bool keepReplacedCopy(const FilePath& path);
