// Inside the LTO library: the vendor diagnostic pages sent with SEND DIAGNOSTIC
// (CDB byte 1 = 11h), and the text replies read back with RECEIVE DIAGNOSTIC
// RESULTS.
#ifndef LTOLIB_DIAG_PAGE_BUFFERS_H
#define LTOLIB_DIAG_PAGE_BUFFERS_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "replies.h"
#include "scsilib/byte_order.h"
#include "scsilib.h"

namespace ltolib {

constexpr int32 kMechPage = 0x93;
constexpr int32 kMemoryReadPage = 0xB0;
constexpr int32 kMemoryWritePage = 0xB1;

// Largest allocation length RECEIVE DIAGNOSTIC RESULTS carries.
constexpr int32 kMaxReceive = 0xFFFF;

// A page of `size` bytes: the header {code, 0, 0, size - 4}, then big-endian
// 32-bit fields. The largest is page 93h with 38 parameters.
class DiagPage {
public:
    static constexpr int32 kMaxSize = 8 + 4 * LTO_MECH_MAX_PARMS;

    DiagPage(u_int8 code, int32 size) : size_(size)
    {
        bytes_[0] = code;
        bytes_[3] = static_cast<u_int8>(size - 4);
    }
    void put(int at, u_int32 value) { scsilib::put_be32(bytes_.data() + at, value); }
    // The bytes the drive took, or -1.
    int32 send(DRIVE *drv) { return scsi_send_diagnostic_page(drv, 0x11, bytes_.data(), size_); }
    const u_int8 *data() const { return bytes_.data(); }

private:
    std::array<u_int8, kMaxSize> bytes_{};
    int32 size_;
};

// Reply area of `alloc` bytes plus a spare byte and a NUL, so a text that
// fills the area is still terminated after its last byte.
class TextReply {
public:
    // `per_item` bytes for each of `items` plus `extra`, counted in 64 bits
    // and capped at what one command moves.
    static int32 size_for(int32 items, int32 per_item, int32 extra)
    {
        int64_t want = static_cast<int64_t>(items) * per_item + extra;
        return want > kMaxReceive ? kMaxReceive : static_cast<int32>(want);
    }

    // Logs "Unable to malloc space in <who>" when the area cannot be had.
    TextReply(DRIVE *drv, int32 alloc, const char *who)
        : alloc_(alloc), bytes_(new (std::nothrow) u_int8[static_cast<size_t>(alloc) + 2]())
    {
        if (!bytes_) {
            char text[80];
            std::snprintf(text, sizeof text, "Unable to malloc space in %s", who);
            scsi_log(drv, "Sys", text);
        }
    }
    bool ok() const { return bytes_ != nullptr; }

    // RECEIVE DIAGNOSTIC RESULTS (page code valid); the bytes received or -1.
    int32 receive(DRIVE *drv, int32 page)
    {
        int32 n = scsi_receive_diagnostic_results(drv, 1, page, bytes_.get(), alloc_);
        if (n >= 0)
            length_ = n > alloc_ ? alloc_ : n;
        return n;
    }
    const u_int8 *data() const { return bytes_.get(); }
    // For the parsers whose public form takes a writable reply.
    u_int8 *data() { return bytes_.get(); }
    int32 length() const { return length_; }

private:
    int32 alloc_;
    int32 length_ = 0;
    std::unique_ptr<u_int8[]> bytes_;
};

}  // namespace ltolib

#endif
