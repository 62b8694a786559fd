#include "persist/diagnostic_log.h"

void log_message(int /*category*/, int /*level*/, const char* /*text*/)
{
    // This program keeps no diagnostic log.
}
