// Small helpers every part of the tool shares: the FILE owner, the opening of
// a file the tool reads whole, the writing of a file that replaces another only
// once whole, fixed text fields of the drive record, and the clearing of a drive
// table.
#ifndef FIRMWARE_TOOLKIT_H
#define FIRMWARE_TOOLKIT_H

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common.h"

namespace firmware {

struct FileCloser {
    void operator()(FILE *fp) const { std::fclose(fp); }
};
// A FILE that is closed when its owner goes.
using File = std::unique_ptr<FILE, FileCloser>;

// A read-only descriptor of `path` when it is a regular file, else -1. What
// the path names is judged before it is opened, since opening a device has
// effects of its own (a tape node rewinds when closed); the file opened must
// be the one judged. The descriptor blocks once opened.
int open_regular_file(const char *path);

// Writes all of `size` bytes to `fd` and closes it: 0, or the errno of the
// write or close that failed. A full device or disk may say so only at the
// close, so both count.
int write_and_close(int fd, const char *data, size_t size);

// How write_through_temporary ended. For no_temporary and not_renamed, `error`
// holds the errno of the call that failed and `target` the file that was to be
// replaced.
struct TemporaryWrite {
    enum Outcome { written, writer_failed, no_temporary, not_renamed, refused_link };
    Outcome outcome = written;
    int error = 0;
    std::string target;
};

// Puts a file at `path` that `write` writes at the path it is handed; `write`
// returns true once the file is whole. A regular file, or a new one, is written
// as a hidden temporary beside it (".kv_rom." and six characters) with the mode
// of the file it replaces, else that of a new file, and renamed into place once
// synced, so a failure leaves the file there was and no temporary. A symbolic
// link is followed to the file it leads to, unless it lies in a sticky,
// world-writable directory and belongs to neither the caller nor the
// directory's owner (refused_link: nothing is written). Anything else (a
// device, a FIFO, a link that leads nowhere) is written to as it stands.
TemporaryWrite write_through_temporary(const char *path, const std::function<bool(const char *)> &write);

// A fixed text field as far as its NUL, never read past the field even when the
// writer left no NUL.
template <size_t N>
std::string_view field(const char (&f)[N])
{
    return std::string_view(f, strnlen(f, N));
}

// A text from a drive, a plan or the configuration as the console and the log
// show it: every byte outside 20h-7Eh as the four characters "\xHH", so no
// control byte reaches a terminal and no text can forge a line of its own.
std::string shown(std::string_view text);

template <size_t N>
std::string shown(const char (&f)[N])
{
    return shown(field(f));
}

// Copies at most cap - 1 characters and always terminates: texts from files and
// drives may be longer than the field.
inline void copy_field(char *dst, size_t cap, const char *src) { std::snprintf(dst, cap, "%s", src); }

template <size_t N>
void copy_field(char (&dst)[N], const char *src)
{
    copy_field(dst, N, src);
}

// Zeroes the MAX_DRIVES records of a drive table.
inline void clear_table(driveinfo *table) { std::memset(table, 0, sizeof(driveinfo) * MAX_DRIVES); }

}  // namespace firmware

#endif
