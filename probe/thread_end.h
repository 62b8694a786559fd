#pragma once

#include <exception>
#include <new>
#include <string>

// How a thread of the probe, the search or the editor's tests reports a
// device or preset it could not finish (an exception, which never leaves the
// thread): "could not be read: out of memory".
inline std::string couldNotBeRead(const std::exception& error)
{
    const bool memory = dynamic_cast<const std::bad_alloc*>(&error) != nullptr;
    return std::string("could not be read: ") + (memory ? "out of memory" : error.what());
}
