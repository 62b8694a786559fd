#include "tests/support/host_log.h"

#include <windows.h>

#include <fstream>
#include <iterator>

#include "host/host_log_format.h"
#include "tests/support/code_page_text.h"

namespace {

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
    *out << encodeText(event.source, CP_UTF8) << ' ' << encodeText(event.name, CP_UTF8);
    for (const std::wstring& field : event.fields)
        *out << " [" << encodeText(field, CP_UTF8) << ']';
}

std::vector<HostEvent> readHostLog(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<HostEvent> events;
    size_t start = 0;
    for (size_t end = content.find('\n'); end != std::string::npos; end = content.find('\n', start)) {
        events.push_back(parseLine(decodeBytes(content.substr(start, end - start), CP_UTF8)));
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

std::vector<HostEvent> expectedRegistration(const std::wstring& detector, const std::wstring& editorDirectory,
                                            const std::vector<std::wstring>& presetNames)
{
    std::vector<HostEvent> events = {
        {L"detector", L"reset_vendor", {detector, L"Corvane"}},
        {L"detector", L"set_renderer_path", {detector, L"Corvane", editorDirectory + L"\\Renderer.exe"}},
        {L"detector", L"add_source", {detector, L"Corvane", L"Corvane Streams...", L"1"}},
    };
    for (const std::wstring& name : presetNames)
        events.push_back({L"detector", L"add_source", {detector, L"Corvane", name, L"1"}});
    return events;
}

std::wstring expectedRendererCommandLine(const std::wstring& editorDirectory)
{
    return L"\"" + editorDirectory + L"\\Renderer.exe\" CorvaneApplySettings";
}
