#include "persist/osal_mutex.h"

#include <cstdio>
#include <cstring>

#include "persist/diagnostic_log.h"

namespace {

const int kMutexLogLevel = 10;

// Hands the failure of `function` to the diagnostic log and passes the POSIX
// result through.
int reportResult(const char* function, int result)
{
    if (result == 0)
        return 0;
    char line[256];
    std::snprintf(line, sizeof line, "%s: error (%s)\n", function, std::strerror(result));
    log_message(0, kMutexLogLevel, line);
    return result;
}

}  // namespace

int osal_create_mutex(pthread_mutex_t* mutex)
{
    return reportResult("osal_create_mutex", pthread_mutex_init(mutex, nullptr));
}

int osal_destroy_mutex(pthread_mutex_t* mutex)
{
    return reportResult("osal_destroy_mutex", pthread_mutex_destroy(mutex));
}

int osal_lock_mutex(pthread_mutex_t* mutex)
{
    return reportResult("osal_lock_mutex", pthread_mutex_lock(mutex));
}

int osal_unlock_mutex(pthread_mutex_t* mutex)
{
    return reportResult("osal_unlock_mutex", pthread_mutex_unlock(mutex));
}
