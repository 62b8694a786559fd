// Another program holding a file open, as virus scanners, indexers and the
// C runtime's fopen do, for the tests of saving meanwhile:
//   config_file_holder <file> <read-write | read | none | mapped> <milliseconds> <event>
// Opens the file for reading, letting others read (and write, for
// "read-write"; nothing at all, for "none") but never delete it, sets the named event once it holds the
// file, keeps it for the given time and closes it. "mapped" lets others read
// and write, but maps the file into memory, so that it cannot be cut shorter. Under load Wine may still
// be closing the file of an earlier case for a moment, so a refused open is
// tried again for a few seconds.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 5)
        return 2;
    const std::wstring sharing = argv[2];
    const bool mapped = sharing == L"mapped";
    const DWORD shareMode = sharing == L"read-write" || mapped ? FILE_SHARE_READ | FILE_SHARE_WRITE
                            : sharing == L"read"     ? FILE_SHARE_READ
                                                     : 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        if (attempt > 0)
            Sleep(50);
        file = CreateFileW(argv[1], GENERIC_READ, shareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    const HANDLE mapping = mapped ? CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr;
    const void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (mapped && view == nullptr)
        return 5;
    const HANDLE holding = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4]);
    if (holding == nullptr)
        return 4;
    SetEvent(holding);
    CloseHandle(holding);
    Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
    if (view != nullptr) {
        UnmapViewOfFile(view);
        CloseHandle(mapping);
    }
    CloseHandle(file);
    return 0;
}
