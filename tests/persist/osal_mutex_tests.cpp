#include "persist/osal_mutex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "persist/diagnostic_log.h"

namespace {

struct LogLine {
    int category;
    int level;
    std::string text;
    bool operator==(const LogLine& other) const
    {
        return category == other.category && level == other.level && text == other.text;
    }
};

std::vector<LogLine> logged;

}  // namespace

// Stands in for the library's log call in this program, which links no other.
void log_message(int category, int level, const char* text)
{
    logged.push_back({category, level, text});
}

namespace {

using testing::ElementsAre;
using testing::IsEmpty;

std::string failureLine(const char* function, int error)
{
    return std::string(function) + ": error (" + std::strerror(error) + ")\n";
}

class OsalMutex : public testing::Test {
protected:
    void SetUp() override { logged.clear(); }
};

TEST_F(OsalMutex, FullLifecycleSucceedsWithoutDiagnostics)
{
    pthread_mutex_t mutex;
    EXPECT_EQ(osal_create_mutex(&mutex), 0);
    EXPECT_EQ(osal_lock_mutex(&mutex), 0);
    EXPECT_EQ(osal_unlock_mutex(&mutex), 0);
    EXPECT_EQ(osal_lock_mutex(&mutex), 0);
    EXPECT_EQ(osal_unlock_mutex(&mutex), 0);
    EXPECT_EQ(osal_destroy_mutex(&mutex), 0);
    EXPECT_THAT(logged, IsEmpty());
}

// An error-checking mutex makes lock and unlock fail on demand.
class ErrorCheckingMutex : public OsalMutex {
protected:
    void SetUp() override
    {
        OsalMutex::SetUp();
        initErrorChecking(mutex_);
        initErrorChecking(twin_);
    }
    void TearDown() override
    {
        pthread_mutex_destroy(&mutex_);
        pthread_mutex_destroy(&twin_);
    }

    static void initErrorChecking(pthread_mutex_t& mutex)
    {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK);
        ASSERT_EQ(pthread_mutex_init(&mutex, &attributes), 0);
        pthread_mutexattr_destroy(&attributes);
    }

    pthread_mutex_t mutex_;
    // Goes through the same calls without the wrapper, for the expected result.
    pthread_mutex_t twin_;
};

TEST_F(ErrorCheckingMutex, RelockingReturnsDeadlockAndLogsIt)
{
    ASSERT_EQ(osal_lock_mutex(&mutex_), 0);
    EXPECT_EQ(osal_lock_mutex(&mutex_), EDEADLK);
    EXPECT_THAT(logged, ElementsAre(LogLine{0, 10, failureLine("osal_lock_mutex", EDEADLK)}));
    EXPECT_EQ(osal_unlock_mutex(&mutex_), 0);
}

TEST_F(ErrorCheckingMutex, UnlockingAnUnheldMutexPassesThePosixErrorOn)
{
    // The error number differs between C runtimes (EPERM, EINVAL); it must
    // come through unchanged.
    const int expected = pthread_mutex_unlock(&twin_);
    ASSERT_NE(expected, 0);
    EXPECT_EQ(osal_unlock_mutex(&mutex_), expected);
    EXPECT_THAT(logged, ElementsAre(LogLine{0, 10, failureLine("osal_unlock_mutex", expected)}));
}

}  // namespace
