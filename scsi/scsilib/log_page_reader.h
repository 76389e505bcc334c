// Inside the library: the one LOG SENSE page reader of the drive libraries,
// and the records their log-page layouts are written in (a field's offset and
// width, big-endian, and the output member it fills).
#ifndef SCSILIB_LOG_PAGE_READER_H
#define SCSILIB_LOG_PAGE_READER_H

#include <array>
#include <cstddef>

#include "byte_order.h"
#include "scsilib.h"

namespace scsilib {

// One field of a page: where it starts and how many bytes (1 to 4) it takes.
struct LogField {
    int offset;
    int width;
};

// One field of a page and the int32 member of the output record it fills.
template <typename Record>
struct LogMember {
    int32 Record::*member;
    int offset;
    int width;
};

// For the layouts' compile-time checks: the field lies inside `length` bytes.
constexpr bool inside(LogField f, int32 length)
{
    return f.offset >= 0 && f.width > 0 && f.width <= 4 && f.offset + f.width <= length;
}

template <typename Fields>
constexpr bool all_inside(const Fields &fields, int32 length)
{
    for (const auto &f : fields)
        if (!inside(LogField{f.offset, f.width}, length))
            return false;
    return true;
}

inline u_int32 field_value(const u_int8 *page, LogField f)
{
    return static_cast<u_int32>(get_be(page + f.offset, f.width));
}

// Fills the outputs in the order of the fields.
template <size_t N>
void take_fields(const u_int8 *page, const std::array<LogField, N> &fields, int32 *const (&outs)[N])
{
    for (size_t i = 0; i < N; ++i)
        *outs[i] = static_cast<int32>(field_value(page, fields[i]));
}

// Fills the members of `out` that the fields name.
template <typename Record, size_t N>
void take_members(const u_int8 *page, const std::array<LogMember<Record>, N> &fields, Record &out)
{
    for (const LogMember<Record> &f : fields)
        out.*f.member = static_cast<int32>(field_value(page, {f.offset, f.width}));
}

// LOG SENSE page control: the cumulative values.
constexpr int32 kLogCumulativeValues = 1;

// One log page, read into a zeroed buffer of Size bytes: the largest page
// its reader asks for.
template <size_t Size>
class LogPage {
public:
    // LOG SENSE of `page` with an allocation length of `alloc`. Returns the
    // command's result when it failed, -1 when the reply ends before `needed`
    // bytes (the fields past its end were never sent), else 0.
    int32 read(DRIVE *drv, int32 page, int32 alloc, int32 needed = 0)
    {
        // Never more than the buffer holds.
        if (alloc > static_cast<int32>(Size))
            alloc = static_cast<int32>(Size);
        const int32 n = scsi_ext_log_sense(drv, kLogCumulativeValues, page, bytes_.data(), alloc);
        if (n < 0)
            return n;
        length_ = n > alloc ? alloc : n;
        return length_ < needed ? -1 : 0;
    }

    const u_int8 *data() const { return bytes_.data(); }
    // For the readers whose public form takes a writable page.
    u_int8 *data() { return bytes_.data(); }
    // The bytes received, at most the allocation length.
    int32 length() const { return length_; }
    u_int32 value(LogField f) const { return field_value(bytes_.data(), f); }

private:
    std::array<u_int8, Size> bytes_{};
    int32 length_ = 0;
};

}  // namespace scsilib

#endif
