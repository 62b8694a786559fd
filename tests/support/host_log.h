#pragma once

// Reads the event log that the production-system stand-ins write
// (host/README.md), and tells which events an editor is expected to cause there.

#include <ostream>
#include <string>
#include <vector>

struct HostEvent {
    std::wstring source;  // "network", "detector", "versions" or "renderer"
    std::wstring name;    // e.g. "create", "add_source", "start"
    std::vector<std::wstring> fields;

    bool operator==(const HostEvent& other) const;
    bool operator!=(const HostEvent& other) const { return !(*this == other); }
};

// Lets GoogleTest show an event as its log line.
void PrintTo(const HostEvent& event, std::ostream* out);

// The complete lines of the log, in the order they were written; none when the
// file does not exist. A line still being written is left out.
std::vector<HostEvent> readHostLog(const std::wstring& path);

// The events of one source, in log order.
std::vector<HostEvent> eventsFrom(const std::vector<HostEvent>& events, const std::wstring& source);

// Position of the first event of that source and name, or -1.
int findEvent(const std::vector<HostEvent>& events, const std::wstring& source, const std::wstring& name);

// Waits until the log holds an event of that source and name; false when the
// time ran out first. The stand-ins run in other processes or write late.
bool waitForHostEvent(const std::wstring& path, const std::wstring& source, const std::wstring& name,
                      unsigned long timeoutMilliseconds);

// A pointer as the stand-ins record it.
std::wstring hostPointerText(const void* pointer);

// The detector calls with which an editor in `editorDirectory` announces its
// presets to the host, on opening and at every save.
std::vector<HostEvent> expectedRegistration(const std::wstring& detector, const std::wstring& editorDirectory,
                                            const std::vector<std::wstring>& presetNames);

// The command line with which that editor starts the renderer.
std::wstring expectedRendererCommandLine(const std::wstring& editorDirectory);
