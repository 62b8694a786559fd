#include "app/host_link.h"

// Set by start-up; null until then, and the detector stays null when the
// host's network module is missing.
HINSTANCE app_instance = nullptr;
VideoStreamDetector* stream_detector = nullptr;
