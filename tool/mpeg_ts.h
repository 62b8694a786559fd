#pragma once

#include <cstddef>
#include <string>

// Whether bytes from the network are an MPEG transport stream: 188-byte
// cells, each starting with the sync byte 0x47.

// A datagram of one or more whole cells.
bool isTsDatagram(const char* bytes, size_t count);

// The start of a byte stream. A stream may begin within a cell, so it is
// taken as cells when, from some offset of the first cell on, every 188th
// byte is the sync byte, at least three times over.
class TsStreamCheck {
public:
    void add(const char* bytes, size_t count);
    bool isTs() const;

private:
    std::string start_;  // the first bytes of the stream, enough for a verdict
};
