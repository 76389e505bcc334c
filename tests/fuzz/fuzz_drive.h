// A drive on the emulated bus whose every answer comes from the fuzz input, so
// one target can drive any reader of the library through the real transport.
//
// The script is a series of answers, one per command, each:
//   control byte c
//     c & 3 = 0  GOOD
//             1  CHECK CONDITION; then a sense length n (one byte) and n sense bytes
//             2  the status byte that follows (BUSY, RESERVATION CONFLICT, ...)
//             3  the SG_IO request itself fails (EIO)
//     c & 4      adapter status and driver status follow, one byte each
//     c & 8      a residue follows (16 bits, big-endian, signed)
//     c & 16     the sense length the driver claims follows (one byte)
//   data length (16 bits, big-endian), then that many data-in bytes
// A command after the end of the script gets CHECK CONDITION, ILLEGAL REQUEST,
// invalid operation code, as a drive answers a command it does not know.
#ifndef FUZZ_DRIVE_H
#define FUZZ_DRIVE_H

#include <cerrno>

#include "fuzz_support.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

namespace fuzz {

class ScriptedDrive {
public:
    // Loads a bus with one node (adapter 0, target 0) answered by the script.
    ScriptedDrive()
    {
        kvemu::load_bus_text("[device]\nhost = 0\ntarget = 0\ntype = 1\nrecord = 0\n");
        kvemu::set_reply_hook(&ScriptedDrive::answer);
    }

    // Opens the drive afresh, answering from `script` (kept by the caller).
    DRIVE *open(const std::vector<uint8_t> &script)
    {
        script_ = Input(script.data(), script.size());
        drv_ = DRIVE{};
        drv_.fd = -1;
        FUZZ_CHECK(scsi_open_device(&drv_) == 0);
        return &drv_;
    }

    // Closes the drive; nothing may be left open.
    void close()
    {
        scsi_close_device(&drv_);
        FUZZ_CHECK(kvemu::open_descriptors() == 0);
        kvemu::clear_trace();
    }

private:
    static kvemu::Reply answer(const kvemu::Command &)
    {
        Input &in = script_;
        if (in.left() == 0)
            return kvemu::illegal_opcode();
        kvemu::Reply r;
        const uint8_t c = in.byte();
        switch (c & 3) {
        case 1: {
            r.status = 2;
            const std::vector<uint8_t> sense = in.bytes(in.byte());
            r.sense.assign(sense.begin(), sense.end());
            break;
        }
        case 2:
            r.status = in.byte();
            break;
        case 3:
            r.ioctl_errno = EIO;
            break;
        default:
            break;
        }
        if (c & 4) {
            r.host_status = in.byte();
            r.driver_status = in.byte();
        }
        if (c & 8)
            r.resid = static_cast<int16_t>(in.u16());
        if (c & 16)
            r.sb_len_wr = in.byte();
        const std::vector<uint8_t> data = in.bytes(in.u16());
        r.data.assign(data.begin(), data.end());
        return r;
    }

    static inline Input script_{nullptr, 0};
    DRIVE drv_{};
};

}  // namespace fuzz

#endif
