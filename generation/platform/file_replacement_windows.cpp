#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <new>
#include <string>

#include "generation/failures.h"
#include "generation/platform/file_replacement.h"
#include "generation/platform/utf16.h"

namespace generation {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t AsInteger(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }
// INVALID_HANDLE_VALUE as the header's integer: -1.
constexpr std::intptr_t kNoHandle = -1;

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

// A virus scanner or the search indexer may open a file for a moment, a
// freshly written one above all; meanwhile another program cannot write,
// rename or delete it.
bool IsMomentaryHold(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_LOCK_VIOLATION;
}

// How long one replacement waits, in all, for such a moment to pass.
constexpr DWORD kLongestWaitMs = 1000;

// Calls `call` (true on success, else the reason in GetLastError) until it
// succeeds, fails for another reason, or `waited` has reached about a
// second, in steps that grow from 10 ms to 200 ms. A file held for longer
// is held by a program that means it, and is reported.
template <typename Call>
bool Retried(Call call, std::uint32_t& waited)
{
    for (DWORD step = 10;; step = std::min<DWORD>(2 * step, 200)) {
        if (call()) return true;
        const DWORD code = ::GetLastError();
        if (!IsMomentaryHold(code) || waited >= kLongestWaitMs) return false;
        const DWORD wait = std::min<DWORD>(step, kLongestWaitMs - waited);
        ::Sleep(wait);
        waited += wait;
    }
}

// The file a link finally names, or the path itself when it cannot be
// resolved (the checks that follow then report what is wrong with it).
std::filesystem::path ResolvedLink(const std::filesystem::path& path)
{
    const HANDLE file = ::CreateFileW(SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
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
    return UserPath(resolved);
}

}  // namespace

std::filesystem::path UserPath(std::wstring path)
{
    if (path.starts_with(LR"(\\?\UNC\)")) return L"\\\\" + path.substr(8);
    if (path.starts_with(LR"(\\?\)")) return path.substr(4);
    return path;
}

std::wstring SystemPath(const std::filesystem::path& path)
{
    const std::wstring& given = path.native();
    // Already in a form that the system takes as it is.
    if (given.starts_with(LR"(\\?\)") || given.starts_with(LR"(\\.\)")) return given;
    // Without the prefix a folder may have 247 characters and a file 259,
    // counted on the absolute path however the path is given; from 248 on,
    // the prefix is used.
    constexpr std::size_t kLongestPlain = MAX_PATH - 12;
    std::wstring full(std::max<std::size_t>(given.size() + 1, MAX_PATH), L'\0');
    for (;;) {
        const DWORD size = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (size == 0) return given;  // the call that takes it says what is wrong
        if (size < full.size()) {
            full.resize(size);
            break;
        }
        full.resize(size);
    }
    if (full.size() < kLongestPlain) return given;
    if (full.starts_with(LR"(\\)")) return LR"(\\?\UNC\)" + full.substr(2);
    return LR"(\\?\)" + full;
}

std::filesystem::path CurrentFolder(std::error_code& error)
{
    error.clear();
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
        if (size == 0) {
            error.assign(static_cast<int>(::GetLastError()), std::system_category());
            return {};
        }
        const bool fits = size < folder.size();
        folder.resize(size);
        if (fits) return folder;
    }
}

FileReplacement::FileReplacement(std::filesystem::path target) : target_(std::move(target)), handle_(kNoHandle)
{
    // A link is followed, so the file it names is replaced, not the link.
    DWORD attributes = ::GetFileAttributesW(SystemPath(target_).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        target_ = ResolvedLink(target_);
        attributes = ::GetFileAttributesW(SystemPath(target_).c_str());
    }
    const DWORD targetError = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_SUCCESS;

    const std::filesystem::path folder = target_.parent_path().empty() ? "." : target_.parent_path();
    const DWORD folderAttributes = ::GetFileAttributesW(SystemPath(folder).c_str());
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
        // without letting others write or delete it, once it has had a
        // moment to let go.
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) throw FileFailure("write", target_, "it is read-only");
        const std::wstring target = SystemPath(target_);
        HANDLE probe = INVALID_HANDLE_VALUE;
        const bool opened = Retried([&] {
            probe = ::CreateFileW(target.c_str(), GENERIC_WRITE | DELETE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            return probe != INVALID_HANDLE_VALUE;
        }, waitedMs_);
        if (!opened) throw FileFailure("write", target_, LastReason());
        const DWORD type = ::GetFileType(probe);
        ::CloseHandle(probe);
        if (type != FILE_TYPE_DISK) throw FileFailure("write", target_, "it is not a regular file");
    } else if (!IsMissing(targetError)) {
        throw FileFailure("write", target_, SystemReason(targetError));
    }

    for (int attempt = 0; handle_ == kNoHandle; ++attempt) {
        temporary_ = NextTemporaryPath(folder, ::GetCurrentProcessId());
        // CREATE_NEW: never an existing file, whoever left it there.
        const HANDLE file = ::CreateFileW(SystemPath(temporary_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
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
    // A scanner may be reading the new file, or the old one, just now.
    const std::wstring from = SystemPath(temporary_);
    const std::wstring to = SystemPath(target_);
    const bool replaced = Retried([&] {
        return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }, waitedMs_);
    if (!replaced) throw FileFailure("replace", target_, LastReason());
    committed_ = true;
}

void FileReplacement::Discard() noexcept
{
    if (handle_ != kNoHandle) {
        ::CloseHandle(AsHandle(handle_));
        handle_ = kNoHandle;
    }
    if (!committed_ && !temporary_.empty()) {
        try {
            const std::wstring temporary = SystemPath(temporary_);
            // Its own second: the new file must not be left behind.
            std::uint32_t waited = 0;
            Retried([&] { return ::DeleteFileW(temporary.c_str()) != FALSE; }, waited);
        } catch (const std::bad_alloc&) {
            ::DeleteFileW(temporary_.c_str());
        }
    }
}

}  // namespace generation
