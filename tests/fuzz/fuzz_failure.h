#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

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

// Whether a text kept from the input is free of control characters.
inline bool freeOfControls(const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}
