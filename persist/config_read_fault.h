#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where and why the reader of config.dat refused a file: the first place the
// data went wrong. Presets and endpoints are numbered from 0 (the endpoint
// number is the protocol index); -1 when the fault lies outside them.
struct ConfigReadFault {
    int64_t offset = -1;  // from the start of the file; -1 while nothing is noted
    int preset = -1;
    int endpoint = -1;
    std::string expected;
    std::string found;

    // Where the reader is, kept up to date while it reads: the start of the
    // data within the file, and the records it is inside.
    int64_t base = 0;
    int readingPreset = -1;
    int readingEndpoint = -1;

    // Values of a file the reader accepted that it took other than they are
    // stored, each with its place: "byte 31: preset 0: sync is stored as 2;
    // a save stores 1". A save of such a file differs from it there.
    std::vector<std::string> readOtherwise;

    bool noted() const { return offset >= 0; }
    // "byte 412: preset 2, endpoint 4: expected ..., found ..."
    std::string describe() const;
};

// Notes a fault at `position` of the data being read, within the records
// being read, unless an earlier one was noted; a null fault notes nothing.
void noteReadFault(ConfigReadFault* fault, int64_t position, const std::string& expected, const std::string& found);

// Notes a value at `position` of the data being read, within the records
// being read, that the reader takes other than stored ("sync is stored as 2;
// a save stores 1"); a null fault notes nothing.
void noteReadOtherwise(ConfigReadFault* fault, int64_t position, const std::string& what);

// The reader enters record `number` (-1: leaves it); for a null fault nothing.
void readingRecord(ConfigReadFault* fault, int ConfigReadFault::*record, int number);

// The four bytes of a 32-bit value as the file holds them: "00 00 67 36".
std::string magicBytes(int32_t value);
