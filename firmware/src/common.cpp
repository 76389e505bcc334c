// The log file and the console separator line.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "logfile.h"

const char *logfile = "/var/vxt/Component.log";

namespace {

bool write_all(int fd, const char *text, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, text, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void _log(const char *msg)
{
    // Opened and closed for every message, so each one is on disk when we return.
    // A FIFO nobody reads is refused at once rather than waited for: the tool
    // may hold a drive reserved meanwhile.
    int fd = open(logfile, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd >= 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        fd = -1;
    }
    // A message that did not reach the file in whole (a full disk says so at
    // the write or only at the close) is reported as one that found no file.
    bool written = fd >= 0 && (msg == nullptr || write_all(fd, msg, std::strlen(msg)));
    if (fd >= 0 && close(fd) != 0)
        written = false;
    if (!written)
        std::printf("Unable to open and write to log file.\n");
}

void _logline(void) { _log("==============================================\n"); }

void print_____________________________line(void)
{
    std::printf("----------------------------------------------\n");
}

void print_title(const char *title)
{
    print_____________________________line();
    std::printf("%s\n", title);
    print_____________________________line();
}

int create_directory(const char *dir)
{
    if (dir == nullptr || dir[0] == '\0')
        return -1;
    if (DIR *d = opendir(dir)) {
        closedir(d);
        return 1;
    }
    if (mkdir(dir, 0755) != 0)
        return -1;
    std::printf("Created Dir : %s\n", dir);
    return 1;
}
