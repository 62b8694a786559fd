#include "persist/config_read_fault.h"

#include <cstdio>

namespace {

// "byte 412: preset 2, endpoint 4: "
std::string placeText(int64_t offset, int preset, int endpoint)
{
    std::string text = "byte " + std::to_string(offset) + ": ";
    if (preset >= 0)
        text += "preset " + std::to_string(preset) + (endpoint >= 0 ? ", " : ": ");
    if (endpoint >= 0)
        text += "endpoint " + std::to_string(endpoint) + ": ";
    return text;
}

}  // namespace

std::string ConfigReadFault::describe() const
{
    return placeText(offset, preset, endpoint) + "expected " + expected + ", found " + found;
}

void noteReadFault(ConfigReadFault* fault, int64_t position, const std::string& expected, const std::string& found)
{
    if (fault == nullptr || fault->noted())
        return;
    fault->offset = fault->base + position;
    fault->preset = fault->readingPreset;
    fault->endpoint = fault->readingEndpoint;
    fault->expected = expected;
    fault->found = found;
}

void noteReadOtherwise(ConfigReadFault* fault, int64_t position, const std::string& what)
{
    if (fault != nullptr)
        fault->readOtherwise.push_back(
            placeText(fault->base + position, fault->readingPreset, fault->readingEndpoint) + what);
}

void readingRecord(ConfigReadFault* fault, int ConfigReadFault::*record, int number)
{
    if (fault != nullptr)
        fault->*record = number;
}

std::string magicBytes(int32_t value)
{
    const uint32_t bits = static_cast<uint32_t>(value);
    char text[12];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", bits >> 24 & 0xFF, bits >> 16 & 0xFF, bits >> 8 & 0xFF,
                  bits & 0xFF);
    return text;
}
