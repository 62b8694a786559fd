#pragma once

#include <vector>

#include "persist/file_io.h"

// Every save writes the new content into a temporary file of its own beside
// the target, "<target>.<process>-<number>.tmp", so that the editor and the
// tool never write into each other's. A save that ends removes its file,
// except when writing into a held target broke off: then the temporary file
// is the one complete copy of the new presets until a later save succeeds.

// Creates a new temporary file for a save of `target`, with the owner and
// permissions of `target` (createNewToReplace); -1 on failure, with the cause
// left for lastFileFault().
int createSaveTemporary(const FilePath& target, FilePath& temporary);

// Temporary files of earlier saves of `target` (including the fixed name
// ".tmp" of earlier versions), the most recently written first.
std::vector<FilePath> temporariesOfEarlierSaves(const FilePath& target);

// Removes those whose save has ended: this process's, and those of other
// processes that no longer run and that have not been written to for a minute.
void removeTemporariesOfEndedSaves(const FilePath& target);
