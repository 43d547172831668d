#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "generation/failures.h"
#include "generation/platform/file_replacement.h"

namespace generation {

namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

int OpenRetrying(const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A best-effort sync of the folder, so that the rename itself survives a
// power loss. The file is already replaced when this runs, so a folder
// that cannot be synced (some file systems refuse) is not a failure.
void SyncFolder(const std::filesystem::path& folder)
{
    const int fd = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::filesystem::path CurrentFolder(std::error_code& error) { return std::filesystem::current_path(error); }

FileReplacement::FileReplacement(std::filesystem::path target) : target_(std::move(target))
{
    // A link is followed, so the file it names is replaced, not the link.
    struct stat status {};
    if (::lstat(target_.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        std::error_code error;
        std::filesystem::path resolved = std::filesystem::canonical(target_, error);
        if (!error) target_ = std::move(resolved);
    }

    const std::filesystem::path folder = target_.parent_path().empty() ? "." : target_.parent_path();
    struct stat folderStatus {};
    if (::stat(folder.c_str(), &folderStatus) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            throw FileFailure("create", target_, "the folder \"" + PathText(folder) + "\" does not exist");
        }
        throw FileFailure("create", target_, LastError());
    }
    if (!S_ISDIR(folderStatus.st_mode)) {
        throw FileFailure("create", target_, "\"" + PathText(folder) + "\" is not a folder");
    }

    bool keepMode = false;
    if (::stat(target_.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) throw FileFailure("write", target_, "it is a folder");
        if (!S_ISREG(status.st_mode)) throw FileFailure("write", target_, "it is not a regular file");
        // The file must be writable as it stands: a read-only population
        // list is left alone, as it would be if it were written in place.
        const int probe = OpenRetrying(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe < 0) throw FileFailure("write", target_, LastError());
        ::close(probe);
        keepMode = true;
    }

    for (int attempt = 0; handle_ < 0; ++attempt) {
        temporary_ = NextTemporaryPath(folder, static_cast<unsigned long>(::getpid()));
        const int fd = OpenRetrying(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            handle_ = fd;
        } else if (errno != EEXIST || attempt >= 1000) {
            const std::error_code error = LastError();
            temporary_.clear();
            throw FileFailure("create a temporary file for", target_, error);
        }
    }
    if (keepMode) ::fchmod(static_cast<int>(handle_), status.st_mode & 07777);
}

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Write(std::string_view bytes)
{
    const int fd = static_cast<int>(handle_);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            throw FileFailure("write", target_, LastError());
        }
        if (written == 0) throw FileFailure("write", target_, std::make_error_code(std::errc::io_error));
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void FileReplacement::Commit()
{
    const int fd = static_cast<int>(handle_);
    if (::fsync(fd) != 0) throw FileFailure("write", target_, LastError());
    handle_ = -1;
    // After close, even a failed one, the descriptor is gone.
    if (::close(fd) != 0 && errno != EINTR) throw FileFailure("write", target_, LastError());
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) throw FileFailure("replace", target_, LastError());
    committed_ = true;
    SyncFolder(target_.parent_path().empty() ? "." : target_.parent_path());
}

void FileReplacement::Discard() noexcept
{
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        ::unlink(temporary_.c_str());
    }
}

}  // namespace generation
