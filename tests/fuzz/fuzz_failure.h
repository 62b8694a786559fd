#pragma once

#include <cstdio>
#include <cstdlib>

// Ends the run when a property of the code under test does not hold; libFuzzer
// then keeps the input as a crash. Written to standard output: the runs keep
// standard error closed.
inline void failIf(bool broken, const char* what)
{
    if (broken) {
        std::printf("fuzz property broken: %s\n", what);
        std::fflush(stdout);
        std::abort();
    }
}
