#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <string>

#include "generation/failures.h"
#include "generation/platform/file_replacement.h"

namespace generation {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t AsInteger(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }
// INVALID_HANDLE_VALUE as the header's integer: -1.
constexpr std::intptr_t kNoHandle = -1;

std::string Utf8(std::wstring_view text)
{
    if (text.empty()) return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                              nullptr);
    }
    return utf8;
}

// The system's own text for an error code, in the user's language, without
// the line end and the full stop that the system puts after it.
std::string SystemReason(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length > 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    if (text.empty()) return "system error " + std::to_string(code);
    return Utf8(text);
}

std::string LastReason() { return SystemReason(::GetLastError()); }

bool IsMissing(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

// The file a link finally names, or the path itself when it cannot be
// resolved (the checks that follow then report what is wrong with it).
std::filesystem::path ResolvedLink(const std::filesystem::path& path)
{
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD size = ::GetFinalPathNameByHandleW(file, resolved.data(), static_cast<DWORD>(resolved.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size >= resolved.size()) {
        resolved.resize(size);
        size = ::GetFinalPathNameByHandleW(file, resolved.data(), static_cast<DWORD>(resolved.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    ::CloseHandle(file);
    if (size == 0 || size >= resolved.size()) return path;
    resolved.resize(size);
    return resolved;
}

}  // namespace

FileReplacement::FileReplacement(std::filesystem::path target) : target_(std::move(target)), handle_(kNoHandle)
{
    // A link is followed, so the file it names is replaced, not the link.
    DWORD attributes = ::GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        target_ = ResolvedLink(target_);
        attributes = ::GetFileAttributesW(target_.c_str());
    }
    const DWORD targetError = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_SUCCESS;

    const std::filesystem::path folder = target_.parent_path().empty() ? "." : target_.parent_path();
    const DWORD folderAttributes = ::GetFileAttributesW(folder.c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (IsMissing(code)) {
            throw FileFailure("create", target_, "the folder \"" + PathText(folder) + "\" does not exist");
        }
        throw FileFailure("create", target_, SystemReason(code));
    }
    if ((folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw FileFailure("create", target_, "\"" + PathText(folder) + "\" is not a folder");
    }

    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw FileFailure("write", target_, "it is a folder");
        if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) throw FileFailure("write", target_, "it is not a regular file");
        // A read-only population list is left alone, as it would be if it
        // were written in place; so is one that another program holds open
        // without letting others write or delete it.
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) throw FileFailure("write", target_, "it is read-only");
        const HANDLE probe = ::CreateFileW(target_.c_str(), GENERIC_WRITE | DELETE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) throw FileFailure("write", target_, LastReason());
        const DWORD type = ::GetFileType(probe);
        ::CloseHandle(probe);
        if (type != FILE_TYPE_DISK) throw FileFailure("write", target_, "it is not a regular file");
    } else if (!IsMissing(targetError)) {
        throw FileFailure("write", target_, SystemReason(targetError));
    }

    for (int attempt = 0; handle_ == kNoHandle; ++attempt) {
        temporary_ = NextTemporaryPath(folder, ::GetCurrentProcessId());
        // CREATE_NEW: never an existing file, whoever left it there.
        const HANDLE file =
            ::CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            handle_ = AsInteger(file);
            continue;
        }
        const DWORD code = ::GetLastError();
        if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || attempt >= 1000) {
            temporary_.clear();
            throw FileFailure("create a temporary file for", target_, SystemReason(code));
        }
    }
}

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Write(std::string_view bytes)
{
    const HANDLE file = AsHandle(handle_);
    while (!bytes.empty()) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), part, &written, nullptr)) {
            throw FileFailure("write", target_, LastReason());
        }
        if (written == 0) throw FileFailure("write", target_, SystemReason(ERROR_WRITE_FAULT));
        bytes.remove_prefix(written);
    }
}

void FileReplacement::Commit()
{
    const HANDLE file = AsHandle(handle_);
    if (!::FlushFileBuffers(file)) throw FileFailure("write", target_, LastReason());
    handle_ = kNoHandle;
    if (!::CloseHandle(file)) throw FileFailure("write", target_, LastReason());
    if (!::MoveFileExW(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw FileFailure("replace", target_, LastReason());
    }
    committed_ = true;
}

void FileReplacement::Discard() noexcept
{
    if (handle_ != kNoHandle) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = kNoHandle;
    }
    if (!committed_ && !temporary_.empty()) {
        ::DeleteFileW(temporary_.c_str());
    }
}

}  // namespace generation
