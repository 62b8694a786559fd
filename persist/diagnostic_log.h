#pragma once

// The diagnostic log call. This program keeps no log: the text is discarded.
void log_message(int category, int level, const char* text);
