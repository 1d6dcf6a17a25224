// Folder reading over FindFirstFileW / FindNextFileW, names in UTF-8.
#include "platform/Files.h"
#include "platform/win32/WideText.h"

#include <windows.h>

namespace rimbrel::platform {

namespace {

// A reparse point (a link or junction) is followed: it counts as a folder
// when what it points at is one, as a file when it is broken.
bool entryIsDirectory(const std::wstring& folder, const WIN32_FIND_DATAW& e) {
    if (!(e.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::wstring path = folder + L"\\" + e.cFileName;
    HANDLE target = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool isDirectory =
        GetFileInformationByHandle(target, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(target);
    return isDirectory;
}

}  // namespace

bool readFolder(const char* path, std::vector<FolderEntry>& entries, std::size_t maxEntries) {
    entries.clear();
    if (path == nullptr || path[0] == '\0') return false;
    std::wstring folder = win32::widen(path);
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;

    WIN32_FIND_DATAW e;
    HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &e, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty drive root
    do {
        if (std::wcscmp(e.cFileName, L".") == 0 || std::wcscmp(e.cFileName, L"..") == 0) continue;
        if (entries.size() >= maxEntries) break;
        entries.push_back(FolderEntry{win32::narrow(e.cFileName), entryIsDirectory(folder, e)});
    } while (FindNextFileW(find, &e));
    FindClose(find);
    return true;
}

}  // namespace rimbrel::platform
