// The toolkit's opening of a file it reads, and its writing of a file through
// a temporary beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "toolkit.h"

namespace {

// Where the file goes: the file the path names, through a symbolic link when it
// is one. `replace` tells whether it may be put there by a rename: only a
// regular file, or a new one; anything else (a device, a FIFO, a link that
// leads nowhere) is written to as it stands.
std::string destination(const char *path, bool &replace)
{
    std::string out(path);
    replace = true;
    struct stat st {};
    if (lstat(path, &st) != 0)
        return out;
    if (S_ISLNK(st.st_mode)) {
        char *real = realpath(path, nullptr);
        if (!real || stat(real, &st) != 0) {
            std::free(real);
            replace = false;
            return out;
        }
        out = real;
        std::free(real);
    }
    replace = S_ISREG(st.st_mode);
    return out;
}

// A file that mkstemp made in the destination's directory, removed unless
// committed. Its name is short and fixed so that a destination whose own name
// is as long as a directory allows still gets one.
class TempFile {
public:
    explicit TempFile(const std::string &beside)
        : path_(beside.substr(0, beside.rfind('/') + 1) + ".kv_rom.XXXXXX")
    {
        int fd = mkstemp(path_.data());
        if (fd < 0) {
            path_.clear();
            return;
        }
        // The file keeps the mode it had, or gets the one a new file would.
        struct stat old {};
        mode_t mode;
        if (stat(beside.c_str(), &old) == 0) {
            mode = old.st_mode & 07777;
        } else {
            mode_t mask = umask(0);
            umask(mask);
            mode = 0666 & ~mask;
        }
        fchmod(fd, mode);
        close(fd);
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    ~TempFile()
    {
        if (!path_.empty())
            unlink(path_.c_str());
    }
    bool made() const { return !path_.empty(); }
    const char *path() const { return path_.c_str(); }
    // Puts the file, once on disk, in place of `to`; false when it could not.
    bool commit(const std::string &to)
    {
        int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        bool synced = fd >= 0 && fsync(fd) == 0;
        if (fd >= 0)
            close(fd);
        if (!synced || rename(path_.c_str(), to.c_str()) != 0)
            return false;
        path_.clear();
        return true;
    }

private:
    std::string path_;
};

}  // namespace

int firmware::open_regular_file(const char *path)
{
    struct stat judged {};
    if (stat(path, &judged) != 0 || !S_ISREG(judged.st_mode))
        return -1;
    // A FIFO swapped in meanwhile is found out without waiting for a writer
    // that may never come.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != judged.st_dev || st.st_ino != judged.st_ino ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

firmware::TemporaryWrite firmware::write_through_temporary(const char *path,
                                                           const std::function<bool(const char *)> &write)
{
    TemporaryWrite result;
    bool replace = false;
    const std::string final_path = destination(path, replace);
    if (!replace) {
        if (!write(path))
            result.outcome = TemporaryWrite::writer_failed;
        return result;
    }
    TempFile temp(final_path);
    if (!temp.made()) {
        result = {TemporaryWrite::no_temporary, errno, final_path};
        return result;
    }
    if (!write(temp.path())) {
        result.outcome = TemporaryWrite::writer_failed;
        return result;
    }
    if (!temp.commit(final_path))
        result = {TemporaryWrite::not_renamed, errno, final_path};
    return result;
}
