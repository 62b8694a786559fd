#include "persist/config_read_fault.h"

#include <cstdio>

std::string ConfigReadFault::describe() const
{
    std::string text = "byte " + std::to_string(offset) + ": ";
    if (preset >= 0)
        text += "preset " + std::to_string(preset) + (endpoint >= 0 ? ", " : ": ");
    if (endpoint >= 0)
        text += "endpoint " + std::to_string(endpoint) + ": ";
    return text + "expected " + expected + ", found " + found;
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
