/* libc entry points the emulator stands in for. Each asks the emulator core
 * first; whatever it does not claim goes on to the next definition (libc). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include "hooks.h"

int kvemu_interpose_linked;

#define NEXT(type, name) ((type)dlsym(RTLD_NEXT, name))

typedef FILE *(*fopen_fn)(const char *, const char *);
typedef int (*open_fn)(const char *, int, ...);
typedef int (*open2_fn)(const char *, int);
typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*close_fn)(int);
typedef unsigned (*sleep_fn)(unsigned);
typedef int (*fstat_fn)(int, struct stat *);
typedef int (*fstat64_fn)(int, struct stat64 *);
typedef int (*stat_fn)(const char *, struct stat *);
typedef int (*stat64_fn)(const char *, struct stat64 *);
typedef time_t (*time_fn)(time_t *);

static FILE *do_fopen(const char *name, const char *path, const char *mode)
{
    FILE *fp = NULL;
    const char *mapped = path;
    if (kvemu_hook_fopen(path, mode, &fp, &mapped))
        return fp;
    return NEXT(fopen_fn, name)(mapped, mode);
}

FILE *fopen(const char *path, const char *mode) { return do_fopen("fopen", path, mode); }
FILE *fopen64(const char *path, const char *mode) { return do_fopen("fopen64", path, mode); }

static int do_open(const char *name, const char *path, int flags, mode_t mode)
{
    int fd = -1;
    const char *mapped = path;
    if (kvemu_hook_open(path, flags, &fd, &mapped))
        return fd;
    return NEXT(open_fn, name)(mapped, flags, mode);
}

static mode_t mode_arg(int flags, va_list ap)
{
    if (flags & (O_CREAT | O_TMPFILE))
        return (mode_t)va_arg(ap, int);
    return 0;
}

int open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t m = mode_arg(flags, ap);
    va_end(ap);
    return do_open("open", path, flags, m);
}

int open64(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t m = mode_arg(flags, ap);
    va_end(ap);
    return do_open("open64", path, flags, m);
}

int __open_2(const char *path, int flags) { return do_open("open", path, flags, 0); }
int __open64_2(const char *path, int flags) { return do_open("open64", path, flags, 0); }

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    int result = 0;
    if (kvemu_hook_ioctl(fd, request, arg, &result))
        return result;
    return NEXT(ioctl_fn, "ioctl")(fd, request, arg);
}

int close(int fd)
{
    kvemu_hook_close(fd);
    return NEXT(close_fn, "close")(fd);
}

unsigned sleep(unsigned seconds)
{
    if (kvemu_hook_sleep(seconds))
        return 0;
    return NEXT(sleep_fn, "sleep")(seconds);
}

/* An emulated node reads as the sg driver's character device (major 21, minor
 * the node number), so clients that check for the sg driver accept it. The
 * rest of the answer is that of the null device the descriptor really is. */
#define SG_MAJOR 21

int fstat(int fd, struct stat *st)
{
    int minor = kvemu_hook_fd_node(fd);
    int r = NEXT(fstat_fn, "fstat")(fd, st);
    if (r == 0 && minor >= 0)
        st->st_rdev = makedev(SG_MAJOR, (unsigned)minor);
    return r;
}

int fstat64(int fd, struct stat64 *st)
{
    int minor = kvemu_hook_fd_node(fd);
    int r = NEXT(fstat64_fn, "fstat64")(fd, st);
    if (r == 0 && minor >= 0)
        st->st_rdev = makedev(SG_MAJOR, (unsigned)minor);
    return r;
}

int stat(const char *path, struct stat *st)
{
    int minor = kvemu_hook_path_node(path);
    int r = NEXT(stat_fn, "stat")(minor >= 0 ? "/dev/null" : path, st);
    if (r == 0 && minor >= 0)
        st->st_rdev = makedev(SG_MAJOR, (unsigned)minor);
    return r;
}

int stat64(const char *path, struct stat64 *st)
{
    int minor = kvemu_hook_path_node(path);
    int r = NEXT(stat64_fn, "stat64")(minor >= 0 ? "/dev/null" : path, st);
    if (r == 0 && minor >= 0)
        st->st_rdev = makedev(SG_MAJOR, (unsigned)minor);
    return r;
}

time_t time(time_t *out)
{
    time_t now;
    if (!kvemu_hook_time(&now))
        return NEXT(time_fn, "time")(out);
    if (out)
        *out = now;
    return now;
}
