#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace generation {

// Replaces a file's whole content so that the file is always either the
// complete old content or the complete new one. The new bytes go to a
// temporary file beside the target; Commit() flushes and syncs it, closes
// it and renames it over the target. Until Commit() succeeds the target is
// untouched; a replacement that is dropped without Commit() removes its
// temporary file. Every step that fails raises FileFailure naming the
// target and the system's reason.
//
// This is the one place that talks to the operating system's files; it has
// a POSIX and a Windows implementation.
class FileReplacement {
public:
    // Fails when the target's folder is missing, when the target exists but
    // is not a regular file or may not be written, when it is a link that
    // another user may have planted (POSIX), or when the temporary file
    // cannot be created.
    explicit FileReplacement(std::filesystem::path target);
    ~FileReplacement();

    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void Write(std::string_view bytes);
    void Commit();

    // The file that Commit() replaces: the target, or what it links to.
    const std::filesystem::path& Target() const noexcept { return target_; }
    const std::filesystem::path& TemporaryPath() const noexcept { return temporary_; }

    // Temporary files are named ".<target name>.<unique part>.tmp", so a
    // run that was killed leaves only such a file, never a partial target.
    // Later runs neither read such a leftover nor trip over it: each
    // creates a name of its own afresh.
    static bool IsTemporaryName(const std::filesystem::path& name, const std::filesystem::path& target);

private:
    // A name for the next temporary file in `folder` that this process has
    // not tried before; IsTemporaryName accepts it.
    std::filesystem::path NextTemporaryPath(const std::filesystem::path& folder, unsigned long processId) const;

    void Discard() noexcept;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::intptr_t handle_ = -1;
    // POSIX: the descriptor of the folder that holds the target and the
    // temporary file, through which both are reached.
    std::intptr_t folder_ = -1;
    bool committed_ = false;
    // How long the replacement has waited for another program to let go of
    // the target or the new file, in milliseconds (Windows); its checks and
    // its rename share about a second.
    std::uint32_t waitedMs_ = 0;
};

// The process's current folder, at any length (on Windows the standard
// library's answer stops at 260 characters).
std::filesystem::path CurrentFolder(std::error_code& error);

#ifdef _WIN32
// The form of a path that Windows' file calls take at any length. A path
// that comes near the 260 characters the system allows without more is
// made absolute, with backslashes for slashes and "." and ".." resolved,
// and given the prefix "\\?\" ("\\?\C:\...", "\\?\UNC\server\share\...");
// a shorter path is handed over as it is. Messages keep showing the path as
// the user gave it.
std::wstring SystemPath(const std::filesystem::path& path);

// The path as the user sees it, without the prefix "\\?\" that the system
// puts before the paths it gives out: "\\?\C:\..." is "C:\...", and
// "\\?\UNC\server\share\..." is "\\server\share\...".
std::filesystem::path UserPath(std::wstring path);
#endif

}  // namespace generation
