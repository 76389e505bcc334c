// Big- and little-endian field access, hex rendering, buffer comparison and
// pattern search over caller buffers. Shared by every drive family.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "byte_and_sense_helpers.h"
#include "byte_order.h"

namespace {

int32 field_width(int32 nbytes) { return (nbytes < 1 || nbytes > 4) ? 1 : nbytes; }

constexpr int32 kDumpLineBytes = 16;
constexpr size_t kDumpLineChars = 80;
constexpr size_t kHexFieldChars = 3;
// A short last line is padded to 17 hex fields, so its text part starts one
// column later than on full lines.
constexpr size_t kShortLineHexChars = 51;

}  // namespace

// The public byte-order helpers are the toolkit's, with the width clamped to
// 1..4 as they always were: any other width reads or writes one byte.
int32 dds_getvalue(unsigned char *buffer, int32 nbytes)
{
    return static_cast<int32>(static_cast<u_int32>(scsilib::get_be(buffer, field_width(nbytes))));
}

int32 dds_getvalue_le(unsigned char *buffer, int32 nbytes)
{
    return static_cast<int32>(static_cast<u_int32>(scsilib::get_le(buffer, field_width(nbytes))));
}

int32 dds_putvalue(unsigned char *buffer, int32 value) { return dds_putvalue_ex(buffer, value, 4); }

int32 dds_putvalue_ex(unsigned char *buffer, int32 value, int32 nbytes)
{
    scsilib::put_be(buffer, static_cast<u_int32>(value), field_width(nbytes));
    return 0;
}

char *dds_print_bytes(char *string, unsigned char *data, int32 num_bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    for (int32 i = 0; i < num_bytes; i++) {
        char *p = string + kHexFieldChars * static_cast<size_t>(i);
        p[0] = hex[data[i] >> 4];
        p[1] = hex[data[i] & 0x0F];
        p[2] = ' ';
        p[3] = '\0';
    }
    return string;
}

char *dds_sdump_buffer(unsigned char *data, int32 len)
{
    if (len < 0)
        len = 0;
    size_t size = (static_cast<size_t>(len) / kDumpLineBytes + 1) * kDumpLineChars;
    char *text = static_cast<char *>(calloc(size, 1));
    if (!text)
        return nullptr;
    char *p = text;
    for (int32 start = 0; start < len; start += kDumpLineBytes) {
        int32 n = len - start < kDumpLineBytes ? len - start : kDumpLineBytes;
        dds_print_bytes(p, data + start, n);
        size_t hex_chars = kHexFieldChars * static_cast<size_t>(n);
        p += hex_chars;
        while (n < kDumpLineBytes && hex_chars < kShortLineHexChars) {
            memcpy(p, "   ", kHexFieldChars);
            p += kHexFieldChars;
            hex_chars += kHexFieldChars;
        }
        *p++ = '\t';
        for (int32 i = 0; i < n; i++) {
            unsigned char c = data[start + i];
            *p++ = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
        }
        *p++ = '\n';
    }
    *p = '\0';
    return text;
}

int32 dds_dump_buffer(FILE *fp, unsigned char *buffer, int32 length)
{
    // Without memory for the text there is nothing to write; the result stays 0.
    char *text = dds_sdump_buffer(buffer, length);
    if (text) {
        fputs(text, fp);
        free(text);
    }
    return 0;
}

int32 dds_compare_buffers(unsigned char *wbuf, unsigned char *rbuf, int32 compare_length, int32 *location)
{
    for (int32 i = 0; i < compare_length; i++) {
        if (wbuf[i] != rbuf[i]) {
            *location = i;
            return -1;
        }
    }
    return 0;
}

u_int8 *dds_buffer_contains(u_int8 *container, int32 container_size, u_int8 *pattern, int32 pattern_size)
{
    if (!container || !pattern || pattern_size < 0 || pattern_size > container_size)
        return nullptr;
    for (int32 start = 0; start <= container_size - pattern_size; start++) {
        if (memcmp(container + start, pattern, static_cast<size_t>(pattern_size)) == 0)
            return container + start;
    }
    return nullptr;
}
