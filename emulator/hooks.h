/* Calls from the C interposer into the emulator core. Each returns nonzero when
 * the emulator handled the call itself. */
#ifndef KVEMU_HOOKS_H
#define KVEMU_HOOKS_H

#include <dirent.h>
#include <stdio.h>
#include <sys/types.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

int kvemu_hook_fopen(const char *path, const char *mode, FILE **result, const char **mapped);
int kvemu_hook_open(const char *path, int flags, int *result, const char **mapped);
/* The emulated sysfs where devices are listed: its directory streams, and
 * whether a path there exists. */
int kvemu_hook_opendir(const char *path, DIR **result, const char **mapped);
int kvemu_hook_readdir(DIR *dir, struct dirent64 **entry);
int kvemu_hook_rewinddir(DIR *dir);
int kvemu_hook_closedir(DIR *dir);
int kvemu_hook_is_stream(DIR *dir);
int kvemu_hook_access(const char *path, int mode, int *result, const char **mapped);
int kvemu_hook_ioctl(int fd, unsigned long request, void *arg, int *result);
void kvemu_hook_close(int fd);
int kvemu_hook_sleep(unsigned seconds);
/* The node number behind an emulated descriptor, or behind the path of a node
 * that answers (through symbolic links when `follow` is set); -1 for anything
 * else. */
int kvemu_hook_fd_node(int fd);
int kvemu_hook_path_node(const char *path, int follow);
int kvemu_hook_time(time_t *result);

/* Defined beside the interposed entry points and written by the bus loader, so
 * a static link always pulls them in, even when a sanitizer runtime ahead of
 * the archive already defines fopen/open/ioctl/close. */
extern int kvemu_interpose_linked;

#ifdef __cplusplus
}
#endif

#endif
