#include "app/process_state.h"

// Built before the entry function runs, so that every part of the program
// finds one default preset even when no configuration is loaded.
StreamSettingsSet preset_collection(1);
bool live_mode = false;
