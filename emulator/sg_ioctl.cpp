// SG_GET_VERSION_NUM, SG_SET/GET_RESERVED_SIZE, SG_SCSI_RESET, SG_GET_SCSI_ID,
// SCSI_IOCTL_GET_IDLUN, SCSI_IOCTL_GET_BUS_NUMBER and SG_IO on an emulated node, filling a real sg_io_hdr
// the way the Linux driver does.
#include "sg_ioctl.h"

#include <scsi/scsi.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "scsilib/scsi_codes.h"

namespace kvemu {
namespace {

ReplyHook reply_hook = nullptr;

using namespace scsilib;

std::string name(const Node &n) { return "sg" + std::to_string(n.number); }

int fail(int err)
{
    errno = err;
    return -1;
}

// The first override that matches the command, with its skip and times counts applied.
std::optional<Override> take_override(Node &n, const Command &c)
{
    for (auto it = n.overrides.begin(); it != n.overrides.end(); ++it) {
        if (it->opcode >= 0 && (c.cdb.empty() || c.cdb[0] != it->opcode))
            continue;
        if (it->skip > 0) {
            it->skip--;
            continue;
        }
        Override o = *it;
        if (it->times > 0 && --it->times == 0)
            n.overrides.erase(it);
        return o;
    }
    return std::nullopt;
}

int do_sg_io(Node &n, sg_io_hdr_t *h)
{
    if (!h || h->interface_id != 'S')
        return fail(ENOSYS);
    Command c;
    if (h->cmdp && h->cmd_len > 0)
        c.cdb.assign(h->cmdp, h->cmdp + h->cmd_len);
    c.dxfer_direction = h->dxfer_direction;
    c.dxfer_len = h->dxfer_len;
    c.timeout_ms = h->timeout;
    if (h->dxfer_direction == SG_DXFER_TO_DEV && h->dxferp && h->dxfer_len > 0) {
        auto *p = static_cast<const uint8_t *>(h->dxferp);
        c.data_out.assign(p, p + h->dxfer_len);
    }
    if (n.record) {
        record("cmd " + name(n) + " " + to_hex(c.cdb.data(), c.cdb.size()));
        if (!c.data_out.empty())
            record("out " + name(n) + " " + to_hex(c.data_out.data(), c.data_out.size()));
    }

    std::optional<Override> ov = take_override(n, c);
    Reply r;
    if (ov && !ov->from_model)
        r = ov->reply;
    else
        r = reply_hook ? reply_hook(c) : answer(*n.device, c);
    // Kept once the model is done with it, so its bytes are not copied again.
    if (n.record)
        n.commands.push_back(std::move(c));
    int short_by = 0;
    if (ov) {
        if (ov->status)
            r.status = *ov->status;
        if (ov->host_status)
            r.host_status = *ov->host_status;
        if (ov->driver_status)
            r.driver_status = *ov->driver_status;
        if (ov->resid)
            r.resid = *ov->resid;
        if (ov->sb_len_wr)
            r.sb_len_wr = *ov->sb_len_wr;
        if (ov->sense)
            r.sense = *ov->sense;
        if (ov->ioctl_errno)
            r.ioctl_errno = ov->ioctl_errno;
        if (ov->short_by)
            short_by = *ov->short_by;
    }
    if (r.ioctl_errno)
        return fail(r.ioctl_errno);

    h->status = r.status;
    h->masked_status = static_cast<unsigned char>((r.status >> 1) & 0x7f);
    h->msg_status = 0;
    h->host_status = r.host_status;
    h->duration = 0;

    // A short transfer really moves fewer bytes: the tail of the host's buffer
    // is left as it was.
    int moved = 0;
    if (h->dxfer_direction == SG_DXFER_FROM_DEV && h->dxferp) {
        size_t n_in = std::min<size_t>(r.data.size(), h->dxfer_len);
        n_in -= std::min<size_t>(n_in, static_cast<size_t>(std::max(0, short_by)));
        if (n_in)
            std::memcpy(h->dxferp, r.data.data(), n_in);
        moved = static_cast<int>(n_in);
    } else if (h->dxfer_direction == SG_DXFER_TO_DEV) {
        moved = std::max(0, static_cast<int>(h->dxfer_len) - short_by);
    }
    h->resid = r.resid ? *r.resid : static_cast<int>(h->dxfer_len) - moved;

    size_t n_sense = 0;
    if (h->sbp && h->mx_sb_len > 0) {
        n_sense = std::min<size_t>(r.sense.size(), h->mx_sb_len);
        if (n_sense)
            std::memcpy(h->sbp, r.sense.data(), n_sense);
    }
    h->sb_len_wr = static_cast<unsigned char>(r.sb_len_wr ? *r.sb_len_wr : static_cast<int>(n_sense));
    h->driver_status = r.driver_status ? *r.driver_status
                                       : static_cast<unsigned short>(n_sense ? kSgDriverSense : kSgDriverOk);
    h->info = (r.status || r.host_status || h->driver_status) ? SG_INFO_CHECK : SG_INFO_OK;
    return 0;
}

}  // namespace

void set_reply_hook(ReplyHook hook) { reply_hook = hook; }

int sg_ioctl(Node &n, unsigned long request, void *arg)
{
    switch (request) {
    case SG_GET_VERSION_NUM:
        if (n.cfg.get_int("version_fails", 0))
            return fail(EINVAL);
        *static_cast<int *>(arg) = static_cast<int>(n.cfg.get_int("version", 30536));
        return 0;
    case SG_SET_RESERVED_SIZE:
        if (n.cfg.get_int("reserved_size_fails", 0))
            return fail(ENOMEM);
        n.cfg.values.erase("reserved_size");
        n.cfg.values.emplace("reserved_size", std::to_string(*static_cast<int *>(arg)));
        return 0;
    case SG_GET_RESERVED_SIZE:
        if (n.cfg.get_int("get_reserved_size_fails", 0))
            return fail(EINVAL);
        *static_cast<int *>(arg) = static_cast<int>(n.cfg.get_int("reserved_size", 32768));
        return 0;
    case SG_SCSI_RESET:
        record("reset " + name(n) + " " + std::to_string(*static_cast<int *>(arg)));
        if (n.cfg.get_int("reset_fails", 0))
            return fail(EIO);
        return 0;
    case SG_IO:
        return do_sg_io(n, static_cast<sg_io_hdr_t *>(arg));
    case SG_GET_SCSI_ID: {
        if (!arg)
            return fail(EFAULT);
        sg_scsi_id id{};
        id.host_no = n.host;
        id.channel = n.channel;
        id.scsi_id = n.target;
        id.lun = n.lun;
        id.scsi_type = n.type;
        id.h_cmd_per_lun = 1;
        id.d_queue_depth = 1;
        std::memcpy(arg, &id, sizeof id);
        return 0;
    }
    case SCSI_IOCTL_GET_IDLUN: {
        if (!arg)
            return fail(EFAULT);
        // The mid-layer packs the address into one word, host number on top.
        int idlun[2] = {(n.target & 0xff) | (n.lun & 0xff) << 8 | (n.channel & 0xff) << 16 |
                            static_cast<int>(static_cast<unsigned>(n.host & 0xff) << 24),
                        n.host};
        std::memcpy(arg, idlun, sizeof idlun);
        return 0;
    }
    case SCSI_IOCTL_GET_BUS_NUMBER:
        if (!arg)
            return fail(EFAULT);
        *static_cast<int *>(arg) = n.host;
        return 0;
    default:
        return fail(ENOTTY);
    }
}

}  // namespace kvemu
