// Field access, hex rendering, dumps, comparison and search.
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ddslib.h"
#include "kvemu.h"
#include "scsilib/byte_order.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(ByteHelpers, FieldAccess)
{
    struct Get {
        Bytes in;
        int32 nbytes, be, le;
    };
    const Get gets[] = {
        {{0x12, 0x34}, 2, 0x1234, 0x3412},
        {{0x12, 0x34}, 0, 0x12, 0x12},  // widths outside 1..4 read one byte
        {{0x12, 0x34, 0, 0, 0}, 5, 0x12, 0x12},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 4, -1, -1},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 3, 0xFFFFFF, 0xFFFFFF},
        {{0x80, 0, 0, 0x01}, 4, INT32_MIN + 1, 0x01000080},
    };
    for (Get g : gets) {
        EXPECT_EQ(dds_getvalue(g.in.data(), g.nbytes), g.be);
        EXPECT_EQ(dds_getvalue_le(g.in.data(), g.nbytes), g.le);
    }
    struct Put {
        int32 value, nbytes;
        Bytes out;
    };
    const Put puts[] = {
        {0x123456, 3, {0x12, 0x34, 0x56, 0xEE, 0xEE}},
        {0x7A12345B, 7, {0x5B, 0xEE, 0xEE, 0xEE, 0xEE}},  // one byte, the low one
        {-2, 4, {0xFF, 0xFF, 0xFF, 0xFE, 0xEE}},
    };
    for (const Put &p : puts) {
        Bytes b(5, 0xEE);
        dds_putvalue_ex(b.data(), p.value, p.nbytes);
        EXPECT_EQ(b, p.out);
    }
    Bytes b(5, 0xEE);
    dds_putvalue(b.data(), 0x01020304);
    EXPECT_EQ(b, (Bytes{1, 2, 3, 4, 0xEE}));
}

// The toolkit at every width: a put writes exactly `width` bytes (the guards
// around the field stay), and a get reads back the low `width` bytes.
TEST(ByteOrder, EveryWidthRoundTripsWithinItsField)
{
    const uint64_t value = 0x0102030405060708ULL;
    for (int width = 1; width <= 8; ++width) {
        SCOPED_TRACE(width);
        const uint64_t low = width == 8 ? value : value & ((1ULL << (8 * width)) - 1);
        Bytes be(10, 0xEE), le(10, 0xEE);
        scsilib::put_be(be.data() + 1, value, width);
        scsilib::put_le(le.data() + 1, value, width);
        for (int i = 0; i < width; ++i) {
            EXPECT_EQ(be[1 + i], static_cast<unsigned char>(low >> (8 * (width - 1 - i))));
            EXPECT_EQ(le[1 + i], static_cast<unsigned char>(low >> (8 * i)));
        }
        for (Bytes *b : {&be, &le}) {
            EXPECT_EQ((*b)[0], 0xEE);
            EXPECT_EQ((*b)[static_cast<size_t>(width) + 1], 0xEE);
        }
        EXPECT_EQ(scsilib::get_be(be.data() + 1, width), low);
        EXPECT_EQ(scsilib::get_le(le.data() + 1, width), low);
    }
    static constexpr unsigned char top[8] = {0xFF, 0xFE, 0, 0, 0, 0, 0, 0x80};
    EXPECT_EQ(scsilib::get_be64(top), 0xFFFE000000000080ULL);
    EXPECT_EQ(scsilib::get_le16(top), 0xFEFFu);
    static_assert(scsilib::get_be24(top) == 0xFFFE00u, "usable at compile time");
}

TEST(ByteOrder, EmulatorFieldsOfByteVectors)
{
    const kvemu::Bytes cdb = {0x3B, 0x04, 0x00, 0x01, 0x02, 0x03};
    EXPECT_EQ(kvemu::be_at(cdb, 3, 3), 0x010203u);
    EXPECT_EQ(kvemu::be_at(cdb, 4, 4), 0x02030000u);  // past the end reads as 0
    EXPECT_EQ(kvemu::be_at(cdb, 9, 2), 0u);
    kvemu::Bytes image(4, 0);
    kvemu::put_be_at(image, 1, 0xA1B2C3, 3);
    EXPECT_EQ(image, (kvemu::Bytes{0, 0xA1, 0xB2, 0xC3}));
    kvemu::put_le_at(image, 0, 0x0102, 2);
    EXPECT_EQ(image, (kvemu::Bytes{0x02, 0x01, 0xB2, 0xC3}));
    EXPECT_THROW(kvemu::put_be_at(image, 2, 0, 3), std::out_of_range);
    EXPECT_THROW(kvemu::put_le_at(image, 5, 0, 1), std::out_of_range);
}

TEST(ByteHelpers, PrintBytes)
{
    unsigned char data[] = {0x00, 0xAB, 0x7F};
    char text[16];
    memset(text, 'x', sizeof text);
    EXPECT_STREQ(dds_print_bytes(text, data, 3), "00 AB 7F ");
    memset(text, 'x', sizeof text);
    dds_print_bytes(text, data, 0);
    EXPECT_EQ(text[0], 'x');  // nothing written, not even the terminator
}

std::string dump(const Bytes &b)
{
    char *text = dds_sdump_buffer(const_cast<unsigned char *>(b.data()), static_cast<int32>(b.size()));
    std::string s = text;
    free(text);
    return s;
}

TEST(ByteHelpers, Dumps)
{
    const std::string full = "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \tABCDEFGHIJKLMNOP\n";
    Bytes letters;
    for (unsigned char c = 'A'; c <= 'T'; c++)
        letters.push_back(c);
    EXPECT_EQ(dump(letters), full + "51 52 53 54                                        \tQRST\n");
    EXPECT_EQ(dump(Bytes(letters.begin(), letters.begin() + 16)), full);
    EXPECT_EQ(dump({}), "");
    EXPECT_EQ(dump({0x1F, 0x20, 0x7E, 0x7F, 0x80}),
              "1F 20 7E 7F 80                                     \t. ~..\n");
    EXPECT_EQ(dump(Bytes(15, 'z')).find('\t'), 51u);

    char *buf = nullptr;
    size_t len = 0;
    FILE *fp = open_memstream(&buf, &len);
    unsigned char hi[] = {'h', 'i'};
    EXPECT_EQ(dds_dump_buffer(fp, hi, 2), 0);
    fclose(fp);
    EXPECT_EQ(std::string(buf, len), "68 69                                              \thi\n");
    free(buf);
}

TEST(ByteHelpers, CompareAndSearch)
{
    unsigned char a[] = {1, 2, 3, 4};
    unsigned char b[] = {1, 2, 9, 9};
    int32 where = 77;
    EXPECT_EQ(dds_compare_buffers(a, b, 2, &where), 0);
    EXPECT_EQ(dds_compare_buffers(a, b, 0, &where), 0);
    EXPECT_EQ(where, 77);
    EXPECT_EQ(dds_compare_buffers(a, b, 4, &where), -1);
    EXPECT_EQ(where, 2);

    u_int8 hay[10] = {0, 1, 2, 3, 1, 2, 3, 7, 8, 9};
    u_int8 pat[] = {1, 2, 3};
    u_int8 tail[] = {8, 9};
    u_int8 other[10] = {0, 1, 2, 3, 1, 2, 3, 7, 8, 8};
    EXPECT_EQ(dds_buffer_contains(hay, 10, pat, 3), hay + 1);
    EXPECT_EQ(dds_buffer_contains(hay, 10, tail, 2), hay + 8);
    EXPECT_EQ(dds_buffer_contains(hay, 10, hay, 10), hay);
    EXPECT_EQ(dds_buffer_contains(hay, 10, other, 10), nullptr);
    EXPECT_EQ(dds_buffer_contains(hay, 2, pat, 3), nullptr);
    EXPECT_EQ(dds_buffer_contains(hay, 10, pat, 0), hay);
    EXPECT_EQ(dds_buffer_contains(nullptr, 10, pat, 3), nullptr);
    EXPECT_EQ(dds_buffer_contains(hay, 10, nullptr, 3), nullptr);
    // The last start tried is the one where the pattern just fits.
    EXPECT_EQ(dds_buffer_contains(hay + 7, 3, tail, 2), hay + 8);
    EXPECT_EQ(dds_buffer_contains(hay + 6, 3, tail, 2), nullptr);
}

}  // namespace
