/* libc entry points the emulator stands in for. Each asks the emulator core
 * first; whatever it does not claim goes on to the next definition (libc). */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
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
 * the node number) through every stat call a client may make: the calls of
 * glibc 2.33 and later, their older __xstat forms, fstatat and statx. The rest
 * of the answer is that of the null device the descriptor really is. */
#define SG_MAJOR 21

/* The node a stat call names: by descriptor (`path` null, or empty with
 * AT_EMPTY_PATH), or by a path that is absolute or taken from the working
 * directory, through symbolic links when the call follows them; -1 for
 * anything else. */
static int node_of(int fd, const char *path, int flags, int follow)
{
    if (!path || (path[0] == '\0' && (flags & AT_EMPTY_PATH)))
        return kvemu_hook_fd_node(fd);
    if (path[0] == '/' || fd == AT_FDCWD)
        return kvemu_hook_path_node(path, follow);
    return -1;
}

/* The path the real call is given: the null device in place of a path that
 * names a node. */
static const char *real_path(const char *path, int minor)
{
    return minor >= 0 && path && path[0] != '\0' ? "/dev/null" : path;
}

#define AS_NODE(r, st, minor)                                                                                  \
    do {                                                                                                       \
        if ((r) == 0 && (minor) >= 0)                                                                          \
            (st)->st_rdev = makedev(SG_MAJOR, (unsigned)(minor));                                              \
    } while (0)

/* fstat(fd, st) and its kin: the descriptor's node. */
#define FD_STAT(name, type)                                                                                    \
    int name(int fd, type *st)                                                                                 \
    {                                                                                                          \
        typedef int (*fn)(int, type *);                                                                        \
        int minor = node_of(fd, NULL, 0, 1);                                                                   \
        int r = NEXT(fn, #name)(fd, st);                                                                       \
        AS_NODE(r, st, minor);                                                                                 \
        return r;                                                                                              \
    }
/* stat(path, st) and its kin: the node of an absolute path. */
#define PATH_STAT(name, type, follow)                                                                          \
    int name(const char *path, type *st)                                                                       \
    {                                                                                                          \
        typedef int (*fn)(const char *, type *);                                                               \
        int minor = node_of(AT_FDCWD, path, 0, follow);                                                        \
        int r = NEXT(fn, #name)(real_path(path, minor), st);                                                   \
        AS_NODE(r, st, minor);                                                                                 \
        return r;                                                                                              \
    }
/* The older entry points take the layout version first. */
#define FD_XSTAT(name, type)                                                                                   \
    int name(int ver, int fd, type *st)                                                                        \
    {                                                                                                          \
        typedef int (*fn)(int, int, type *);                                                                   \
        int minor = node_of(fd, NULL, 0, 1);                                                                   \
        int r = NEXT(fn, #name)(ver, fd, st);                                                                  \
        AS_NODE(r, st, minor);                                                                                 \
        return r;                                                                                              \
    }
#define PATH_XSTAT(name, type, follow)                                                                         \
    int name(int ver, const char *path, type *st)                                                              \
    {                                                                                                          \
        typedef int (*fn)(int, const char *, type *);                                                          \
        int minor = node_of(AT_FDCWD, path, 0, follow);                                                        \
        int r = NEXT(fn, #name)(ver, real_path(path, minor), st);                                              \
        AS_NODE(r, st, minor);                                                                                 \
        return r;                                                                                              \
    }
#define AT_STAT(name, type)                                                                                    \
    int name(int dirfd, const char *path, type *st, int flags)                                                 \
    {                                                                                                          \
        typedef int (*fn)(int, const char *, type *, int);                                                     \
        int minor = node_of(dirfd, path, flags, !(flags & AT_SYMLINK_NOFOLLOW));                               \
        int r = NEXT(fn, #name)(dirfd, real_path(path, minor), st, flags);                                     \
        AS_NODE(r, st, minor);                                                                                 \
        return r;                                                                                              \
    }

FD_STAT(fstat, struct stat)
FD_STAT(fstat64, struct stat64)
PATH_STAT(stat, struct stat, 1)
PATH_STAT(stat64, struct stat64, 1)
PATH_STAT(lstat, struct stat, 0)
PATH_STAT(lstat64, struct stat64, 0)
FD_XSTAT(__fxstat, struct stat)
FD_XSTAT(__fxstat64, struct stat64)
PATH_XSTAT(__xstat, struct stat, 1)
PATH_XSTAT(__xstat64, struct stat64, 1)
PATH_XSTAT(__lxstat, struct stat, 0)
PATH_XSTAT(__lxstat64, struct stat64, 0)
AT_STAT(fstatat, struct stat)
AT_STAT(fstatat64, struct stat64)

int statx(int dirfd, const char *path, int flags, unsigned mask, struct statx *st)
{
    typedef int (*fn)(int, const char *, int, unsigned, struct statx *);
    int minor = node_of(dirfd, path, flags, !(flags & AT_SYMLINK_NOFOLLOW));
    int r = NEXT(fn, "statx")(dirfd, real_path(path, minor), flags, mask, st);
    if (r == 0 && minor >= 0) {
        st->stx_rdev_major = SG_MAJOR;
        st->stx_rdev_minor = (unsigned)minor;
    }
    return r;
}

/* The emulated sysfs directories where devices are listed: directory streams
 * of the emulator's own, which only these calls may be given. */
typedef DIR *(*opendir_fn)(const char *);
typedef struct dirent *(*readdir_fn)(DIR *);
typedef struct dirent64 *(*readdir64_fn)(DIR *);
typedef void (*rewinddir_fn)(DIR *);
typedef int (*dir_fn)(DIR *);
typedef int (*access_fn)(const char *, int);

DIR *opendir(const char *path)
{
    DIR *dir = NULL;
    const char *mapped = path;
    if (kvemu_hook_opendir(path, &dir, &mapped))
        return dir;
    return NEXT(opendir_fn, "opendir")(mapped);
}

/* struct dirent and dirent64 are one layout on the 64-bit ABIs. */
_Static_assert(sizeof(struct dirent) == sizeof(struct dirent64), "dirent layouts differ");

struct dirent *readdir(DIR *dir)
{
    struct dirent64 *entry = NULL;
    if (kvemu_hook_readdir(dir, &entry))
        return (struct dirent *)entry;
    return NEXT(readdir_fn, "readdir")(dir);
}

struct dirent64 *readdir64(DIR *dir)
{
    struct dirent64 *entry = NULL;
    if (kvemu_hook_readdir(dir, &entry))
        return entry;
    return NEXT(readdir64_fn, "readdir64")(dir);
}

void rewinddir(DIR *dir)
{
    if (!kvemu_hook_rewinddir(dir))
        NEXT(rewinddir_fn, "rewinddir")(dir);
}

int dirfd(DIR *dir)
{
    if (kvemu_hook_is_stream(dir)) {
        errno = ENOTSUP;
        return -1;
    }
    return NEXT(dir_fn, "dirfd")(dir);
}

int closedir(DIR *dir)
{
    if (kvemu_hook_closedir(dir))
        return 0;
    return NEXT(dir_fn, "closedir")(dir);
}

int access(const char *path, int mode)
{
    int result = -1;
    const char *mapped = path;
    if (kvemu_hook_access(path, mode, &result, &mapped))
        return result;
    return NEXT(access_fn, "access")(mapped, mode);
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
