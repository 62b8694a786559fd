#include "tests/support/host_log.h"

#include <windows.h>

#include <fstream>
#include <iterator>

#include "host/host_log_format.h"

namespace {

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &wide[0], units);
    return wide;
}

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

std::vector<std::wstring> splitFields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find(host_log::kFieldSeparator, start);
        fields.push_back(host_log::unescapeField(line.substr(start, end - start)));
        if (end == std::wstring::npos)
            return fields;
        start = end + 1;
    }
}

HostEvent parseLine(const std::wstring& line)
{
    std::vector<std::wstring> fields = splitFields(line);
    HostEvent event;
    event.source = fields[0];
    if (fields.size() > 1)
        event.name = fields[1];
    if (fields.size() > 2)
        event.fields.assign(fields.begin() + 2, fields.end());
    return event;
}

}  // namespace

bool HostEvent::operator==(const HostEvent& other) const
{
    return source == other.source && name == other.name && fields == other.fields;
}

void PrintTo(const HostEvent& event, std::ostream* out)
{
    *out << toUtf8(event.source) << ' ' << toUtf8(event.name);
    for (const std::wstring& field : event.fields)
        *out << " [" << toUtf8(field) << ']';
}

std::vector<HostEvent> readHostLog(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<HostEvent> events;
    size_t start = 0;
    for (size_t end = content.find('\n'); end != std::string::npos; end = content.find('\n', start)) {
        events.push_back(parseLine(fromUtf8(content.substr(start, end - start))));
        start = end + 1;
    }
    return events;
}

std::vector<HostEvent> eventsFrom(const std::vector<HostEvent>& events, const std::wstring& source)
{
    std::vector<HostEvent> selected;
    for (const HostEvent& event : events) {
        if (event.source == source)
            selected.push_back(event);
    }
    return selected;
}

int findEvent(const std::vector<HostEvent>& events, const std::wstring& source, const std::wstring& name)
{
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].source == source && events[i].name == name)
            return static_cast<int>(i);
    }
    return -1;
}

bool waitForHostEvent(const std::wstring& path, const std::wstring& source, const std::wstring& name,
                      unsigned long timeoutMilliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    for (;;) {
        if (findEvent(readHostLog(path), source, name) >= 0)
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
}

std::wstring hostPointerText(const void* pointer)
{
    return host_log::pointerText(pointer);
}
