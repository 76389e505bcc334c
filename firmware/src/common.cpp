// The log file and the console separator line.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "logfile.h"
#include "toolkit.h"

const char *logfile = "/var/vxt/Component.log";

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
    // A message that did not reach the file in whole is reported as one that
    // found no file.
    if (fd < 0 || firmware::write_and_close(fd, msg ? msg : "", msg ? std::strlen(msg) : 0) != 0)
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
