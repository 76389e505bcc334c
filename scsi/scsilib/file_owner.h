// The library's FILE owner: a stream opened by a download is closed on every
// path out of it.
#ifndef SCSILIB_FILE_OWNER_H
#define SCSILIB_FILE_OWNER_H

#include <cstdio>
#include <memory>

namespace scsilib {

struct FileCloser {
    void operator()(FILE *fp) const { std::fclose(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace scsilib

#endif
