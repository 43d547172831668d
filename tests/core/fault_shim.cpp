// Preloaded (LD_PRELOAD) into a run in a child process, makes one file call
// fail with EIO, as a failing disk would, and says so on standard error.
// POPGEN_FAIL names the call: "write", "fsync", "close" or "rename" (renameat) fail on
// the run's temporary file (a name starting ".game_list.txt."),
// "fsync-folder" fails the sync of a folder; "throw" and "throw-nothing" make
// the temporary file's sync throw what no run raises, a standard exception
// and a value that is none. Everything else passes through.
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace {

template <typename Function>
Function* Next(const char* name)
{
    return reinterpret_cast<Function*>(::dlsym(RTLD_NEXT, name));
}

bool Failing(const char* call)
{
    const char* chosen = ::getenv("POPGEN_FAIL");
    return chosen && ::strcmp(chosen, call) == 0;
}

bool IsTemporaryName(const char* path)
{
    const char* slash = ::strrchr(path, '/');
    return ::strncmp(slash ? slash + 1 : path, ".game_list.txt.", 15) == 0;
}

bool IsTemporary(int fd)
{
    char link[32];
    char path[PATH_MAX];
    ::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t size = ::readlink(link, path, sizeof path - 1);
    if (size <= 0) return false;
    path[size] = '\0';
    return IsTemporaryName(path);
}

bool IsFolder(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
}

int Fail(const char* call)
{
    ::dprintf(2, "fault_shim: %s failed\n", call);
    errno = EIO;
    return -1;
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t size)
{
    if (Failing("write") && IsTemporary(fd)) return Fail("write");
    return Next<ssize_t(int, const void*, size_t)>("write")(fd, bytes, size);
}

int fsync(int fd)
{
    if (Failing("throw") && IsTemporary(fd)) throw std::logic_error("fault_shim: fsync threw");
    if (Failing("throw-nothing") && IsTemporary(fd)) throw 0;
    if ((Failing("fsync") && IsTemporary(fd)) || (Failing("fsync-folder") && IsFolder(fd))) return Fail("fsync");
    return Next<int(int)>("fsync")(fd);
}

int close(int fd)
{
    // Linux frees the descriptor even when close fails.
    const bool fail = Failing("close") && IsTemporary(fd);
    const int result = Next<int(int)>("close")(fd);
    return fail ? Fail("close") : result;
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    if (Failing("rename") && IsTemporaryName(from)) return Fail("rename");
    return Next<int(int, const char*, int, const char*)>("renameat")(fromFolder, from, toFolder, to);
}

}  // extern "C"
