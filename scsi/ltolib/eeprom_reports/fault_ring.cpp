// The EEPROM fault log: a ring of fault slots reported from its start offset.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>

#include "../report_lines.h"
#include "../text_log_frame.h"
#include "layouts.h"
#include "reports.h"
#include "scsilib/byte_order.h"

namespace ltolib {
namespace {

using namespace ee;

// One report line, appended piece by piece and cut to its room.
class LineText {
public:
    void add(const char *format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (used_ >= text_.size() - 1)
            return;
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(text_.data() + used_, text_.size() - used_, format, args);
        va_end(args);
        if (n > 0)
            used_ = std::min(used_ + static_cast<size_t>(n), text_.size() - 1);
    }
    const char *text() const { return text_.data(); }

private:
    std::array<char, 128> text_{};
    size_t used_ = 0;
};

// A slot from any byte offset of the ring; its bytes past the ring's end come
// from the ring's start, so a start that is not a multiple of the slot size
// still reads only ring bytes.
std::array<u_int8, kFaultSlotSize> slot_at(const u_int8 *ring, size_t offset)
{
    std::array<u_int8, kFaultSlotSize> slot{};
    for (size_t i = 0; i < slot.size(); ++i)
        slot[i] = ring[(offset + i) % kFaultRing];
    return slot;
}

void report_slot(CmLines &out, const std::array<u_int8, kFaultSlotSize> &slot)
{
    auto field = [&](size_t at) { return scsilib::get_be32(slot.data() + at); };
    const u_int32 code = field(kSlotErrorCode), ticks = field(kSlotTicks);
    if (code == kNotRecorded || ticks == kNotRecorded)
        return;
    const u_int32 load = field(kSlotLoadCount), dataset = field(kSlotDataSet), wrap = field(kSlotWrap),
                  position = field(kSlotPosition);
    char time[LTO_TIMESTAMP_SIZE] = {};
    put_ticks(ticks, kSlotTick, time);
    LineText line;
    line.add("%s", time);
    if (load == kNotRecorded)
        line.add("    n/a    ");
    else
        line.add(" %8d", static_cast<int32>(load));
    line.add(" 0x%8.8X", code);
    if (dataset == kNotRecorded)
        line.add("    n/a    ");
    else
        line.add(" 0x%8.8X", dataset);
    if (wrap == kNotRecorded)
        line.add("  n/a");
    else
        line.add("  %3d", static_cast<int32>(wrap));
    if (position == kNotRecorded)
        line.add("   n/a    ");
    else
        line.add(" %7.3f  ", static_cast<int32>(position) / 1000.0);
    line.add("\n");
    out.put(line.text());
}

}  // namespace

int32 ee_decode_faultlog(const u_int8 *log, size_t size, pfvv sink)
{
    if (sink == nullptr || log == nullptr || size < kFaultLogSize)
        return -1;
    const size_t start = scsilib::get_le16(log + kFaultStart);
    if (start > kFaultLastStart)
        return -1;
    CmLines out(sink);
    out.put("Timestamp        LoadCount  Errorcode  DataSetNo  Wrap Posn(m)\n");
    out.put("---------------- ---------- ---------- ---------- ---- -------\n");
    for (size_t i = 0; i < kFaultSlots; ++i)
        report_slot(out, slot_at(log, (start + i * kFaultSlotSize) % kFaultRing));
    return 0;
}

}  // namespace ltolib

int32 lto_decode_ee_faultlog(u_int8 *log, pfvv output_handle)
{
    return ltolib::ee_decode_faultlog(log, LTO_EE_FAULTLOG_SIZE, output_handle);
}
