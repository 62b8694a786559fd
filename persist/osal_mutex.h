#pragma once

#include <pthread.h>

// Thin wrappers over the POSIX mutex. Each returns 0 or the error number of
// the POSIX call, and logs a failure at level 10.
int osal_create_mutex(pthread_mutex_t* mutex);
int osal_destroy_mutex(pthread_mutex_t* mutex);
int osal_lock_mutex(pthread_mutex_t* mutex);
int osal_unlock_mutex(pthread_mutex_t* mutex);
