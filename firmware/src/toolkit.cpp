// The toolkit's opening of a file it reads, and its writing of a file through
// a temporary beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "toolkit.h"

namespace {

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

// The kernel's rule for links in shared directories: a link in a sticky,
// world-writable directory is followed only when it belongs to the caller or
// to the directory's owner, so that another user cannot point the file at one
// of ours. It is applied here whatever the kernel is set to, since the file is
// put in place by a rename that never follows the link.
bool may_follow(const std::string &link, const struct stat &st)
{
    const size_t slash = link.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : link.substr(0, slash + 1);
    struct stat d {};
    if (stat(dir.c_str(), &d) != 0)
        return false;
    const bool shared = (d.st_mode & S_ISVTX) && (d.st_mode & S_IWOTH);
    return !shared || st.st_uid == geteuid() || st.st_uid == d.st_uid;
}

struct Destination {
    std::string path;      // where the file goes
    bool replace = true;   // by a rename: only a regular file, or a new one
    bool refused = false;  // through a link that may not be followed
};

// Where the file goes: the file the path names, through the links at its end
// when it is one, each followed from its own directory. Anything but a regular
// or a new file (a device, a FIFO, a link that leads nowhere) is written to as
// it stands.
Destination destination(const char *path)
{
    Destination d{path};
    std::string at = path;
    struct stat st {};
    for (int links = 0;; ++links) {
        if (lstat(at.c_str(), &st) != 0) {
            d.replace = links == 0;
            return d;
        }
        if (!S_ISLNK(st.st_mode))
            break;
        if (!may_follow(at, st)) {
            d.refused = true;
            return d;
        }
        char text[PATH_MAX];
        const ssize_t n = links < kMaxLinks ? readlink(at.c_str(), text, sizeof text) : -1;
        if (n <= 0 || static_cast<size_t>(n) == sizeof text) {
            d.replace = false;  // the open reports what stops the kernel too
            return d;
        }
        const std::string target(text, static_cast<size_t>(n));
        at = target[0] == '/' ? target : at.substr(0, at.rfind('/') + 1) + target;
    }
    d.path = at;
    d.replace = S_ISREG(st.st_mode);
    return d;
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

int firmware::write_and_close(int fd, const char *data, size_t size)
{
    int error = 0;
    while (size > 0 && error == 0) {
        ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n == 0) {
            error = EIO;
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

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
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != judged.st_dev ||
        st.st_ino != judged.st_ino || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

firmware::TemporaryWrite firmware::write_through_temporary(const char *path,
                                                           const std::function<bool(const char *)> &write)
{
    TemporaryWrite result;
    const Destination d = destination(path);
    if (d.refused) {
        result.outcome = TemporaryWrite::refused_link;
        return result;
    }
    if (!d.replace) {
        if (!write(path))
            result.outcome = TemporaryWrite::writer_failed;
        return result;
    }
    TempFile temp(d.path);
    if (!temp.made()) {
        result = {TemporaryWrite::no_temporary, errno, d.path};
        return result;
    }
    if (!write(temp.path())) {
        result.outcome = TemporaryWrite::writer_failed;
        return result;
    }
    if (!temp.commit(d.path))
        result = {TemporaryWrite::not_renamed, errno, d.path};
    return result;
}
