#pragma once

#include "model/stream_settings_set.h"

// Process-wide state that is not tied to Windows. The collection is built,
// with one default preset, before the entry function runs.
extern StreamSettingsSet preset_collection;
extern bool live_mode;
