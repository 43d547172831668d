#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <system_error>
#include <utility>

#include "generation/failures.h"
#include "generation/platform/file_replacement.h"

namespace generation {

namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

int OpenRetrying(int folder, const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::openat(folder, path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A folder that may be written but not read (mode 0333) is opened as a
// path alone: that is enough to create, rename and remove files in it; only
// the closing sync of the folder, which is not needed, is then refused.
int OpenFolder(int folder, const char* path)
{
    const int fd = OpenRetrying(folder, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES) return fd;
    return OpenRetrying(folder, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// A descriptor that is closed when it goes out of scope, unless released.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int Get() const noexcept { return fd_; }
    int Release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Most links followed from the target to its file, as the system's own
// limit for one path.
constexpr int kMostLinks = 40;

// Whether a link may be followed, as the kernel decides for links in a
// sticky folder, but for every folder: when no other user can write to the
// folder, or when the link is the user's, root's or the folder owner's.
// Others can write to a folder that lets its group or everyone write, and
// to one that belongs to another user than this one or root.
bool MayFollow(const struct stat& link, const struct stat& folder, uid_t user)
{
    const bool othersMayWrite =
        (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (folder.st_uid != user && folder.st_uid != 0);
    return !othersMayWrite || link.st_uid == user || link.st_uid == 0 || link.st_uid == folder.st_uid;
}

// Where the link `name` in `folder` points, or nothing when it is no longer
// a link. Its owner and its text come from the one link that the descriptor
// holds, so another link swapped in meanwhile is not read in its place.
// Throws FileFailure naming `link` when the link may not be followed.
std::filesystem::path ReadPermittedLink(int folder, const std::string& name, const std::filesystem::path& link)
{
    const Descriptor held(OpenRetrying(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat linkStatus {};
    struct stat folderStatus {};
    if (held.Get() < 0 || ::fstat(held.Get(), &linkStatus) != 0 || ::fstat(folder, &folderStatus) != 0) {
        throw FileFailure("write", link, LastError());
    }
    if (!S_ISLNK(linkStatus.st_mode)) return {};  // replaced meanwhile: checked again as it is now
    if (!MayFollow(linkStatus, folderStatus, ::geteuid())) {
        throw FileFailure("write", link,
                          "it is a link that another user made in a folder that others can write to, so it is not "
                          "followed");
    }
    std::string text(PATH_MAX, '\0');
    const ssize_t size = ::readlinkat(held.Get(), "", text.data(), text.size());
    if (size < 0) throw FileFailure("write", link, LastError());
    if (static_cast<std::size_t>(size) == text.size()) {
        throw FileFailure("write", link, std::make_error_code(std::errc::filename_too_long));
    }
    text.resize(static_cast<std::size_t>(size));
    return text;
}

}  // namespace

std::filesystem::path CurrentFolder(std::error_code& error) { return std::filesystem::current_path(error); }

FileReplacement::FileReplacement(std::filesystem::path target) : target_(std::move(target))
{
    const std::filesystem::path folder = target_.parent_path().empty() ? "." : target_.parent_path();
    Descriptor folderFd(OpenFolder(AT_FDCWD, folder.c_str()));
    if (folderFd.Get() < 0) {
        const std::error_code error = LastError();
        struct stat folderStatus {};
        if (error.value() == ENOTDIR && ::stat(folder.c_str(), &folderStatus) == 0) {
            throw FileFailure("create", target_, "\"" + PathText(folder) + "\" is not a folder");
        }
        if (error.value() == ENOENT || error.value() == ENOTDIR) {
            throw FileFailure("create", target_, "the folder \"" + PathText(folder) + "\" does not exist");
        }
        throw FileFailure("create", target_, error);
    }

    // A link is followed, so the file it names is replaced, not the link;
    // but only a link that another user cannot have planted. From here on
    // the file is reached through its folder's descriptor: a folder or a
    // link swapped in by name later is not followed.
    struct stat status {};
    bool exists = false;
    for (int links = 0;; ++links) {
        const std::string name = target_.filename().string();
        if (::fstatat(folderFd.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) throw FileFailure("write", target_, LastError());
            break;
        }
        if (!S_ISLNK(status.st_mode)) {
            exists = true;
            break;
        }
        if (links == kMostLinks) {
            throw FileFailure("write", target_, std::make_error_code(std::errc::too_many_symbolic_link_levels));
        }
        const std::filesystem::path linked = ReadPermittedLink(folderFd.Get(), name, target_);
        if (linked.empty()) continue;
        const std::filesystem::path linkedName = linked.filename();
        if (linkedName.empty() || linkedName == "." || linkedName == "..") {
            throw FileFailure("write", target_, "it is a folder");
        }
        Descriptor linkedFolder(
            OpenFolder(folderFd.Get(), linked.has_parent_path() ? linked.parent_path().c_str() : "."));
        if (linkedFolder.Get() < 0) throw FileFailure("write", target_, LastError());
        folderFd = std::move(linkedFolder);
        target_ = (target_.parent_path() / linked).lexically_normal();
    }
    const std::string name = target_.filename().string();

    if (exists) {
        if (S_ISDIR(status.st_mode)) throw FileFailure("write", target_, "it is a folder");
        if (!S_ISREG(status.st_mode)) throw FileFailure("write", target_, "it is not a regular file");
        // The file must be writable as it stands: a read-only population
        // list is left alone, as it would be if it were written in place.
        const int probe = OpenRetrying(folderFd.Get(), name.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (probe < 0) throw FileFailure("write", target_, LastError());
        ::close(probe);
    }

    const std::filesystem::path targetFolder = target_.parent_path().empty() ? "." : target_.parent_path();
    for (int attempt = 0; handle_ < 0; ++attempt) {
        temporary_ = NextTemporaryPath(targetFolder, static_cast<unsigned long>(::getpid()));
        const int fd = OpenRetrying(folderFd.Get(), temporary_.filename().c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            handle_ = fd;
        } else if (errno != EEXIST || attempt >= 1000) {
            const std::error_code error = LastError();
            temporary_.clear();
            throw FileFailure("create a temporary file for", target_, error);
        }
    }
    if (exists) ::fchmod(static_cast<int>(handle_), status.st_mode & 07777);
    folder_ = folderFd.Release();
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
    // The rename replaces the folder's entry itself: a link swapped in for
    // the target since the checks is replaced, not followed.
    const int folder = static_cast<int>(folder_);
    if (::renameat(folder, temporary_.filename().c_str(), folder, target_.filename().c_str()) != 0) {
        throw FileFailure("replace", target_, LastError());
    }
    committed_ = true;
    // A best-effort sync of the folder, so that the rename itself survives
    // a power loss. The file is already replaced, so a folder that cannot
    // be synced (some file systems refuse) is not a failure.
    ::fsync(folder);
}

void FileReplacement::Discard() noexcept
{
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
    if (!committed_ && !temporary_.empty()) {
        ::unlinkat(static_cast<int>(folder_), temporary_.filename().c_str(), 0);
    }
    if (folder_ >= 0) {
        ::close(static_cast<int>(folder_));
        folder_ = -1;
    }
}

}  // namespace generation
