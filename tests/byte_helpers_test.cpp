// Field access, hex rendering, dumps, comparison and search.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ddslib.h"

namespace {

using Bytes = std::vector<unsigned char>;

TEST(ByteHelpers, GetValueBothOrders)
{
    struct Case {
        Bytes in;
        int32 nbytes;
        int32 be, le;
    };
    const Case cases[] = {
        {{0x12, 0x34}, 2, 0x1234, 0x3412},
        {{0x12, 0x34}, 0, 0x12, 0x12},  // out of range widths read one byte
        {{0x12, 0x34, 0, 0, 0, 0}, 5, 0x12, 0x12},
        {{0x12, 0x34}, -1, 0x12, 0x12},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 4, -1, -1},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 3, 0xFFFFFF, 0xFFFFFF},
        {{0x80, 0, 0, 0x01}, 4, INT32_MIN + 1, 0x01000080},
        {{0x01, 0x02, 0x03}, 3, 0x010203, 0x030201},
    };
    for (const Case &c : cases) {
        Bytes b = c.in;
        EXPECT_EQ(dds_getvalue(b.data(), c.nbytes), c.be);
        EXPECT_EQ(dds_getvalue_le(b.data(), c.nbytes), c.le);
    }
}

TEST(ByteHelpers, PutValueWritesExactlyItsWidth)
{
    struct Case {
        int32 value, nbytes;
        Bytes out;
    };
    const Case cases[] = {
        {0x123456, 3, {0x12, 0x34, 0x56, 0xEE, 0xEE}},
        {0x7A12345B, 7, {0x5B, 0xEE, 0xEE, 0xEE, 0xEE}},
        {0x1234, 0, {0x34, 0xEE, 0xEE, 0xEE, 0xEE}},
        {-2, 4, {0xFF, 0xFF, 0xFF, 0xFE, 0xEE}},
        {0x00ABCDEF, 2, {0xCD, 0xEF, 0xEE, 0xEE, 0xEE}},
    };
    for (const Case &c : cases) {
        Bytes b(5, 0xEE);
        EXPECT_EQ(dds_putvalue_ex(b.data(), c.value, c.nbytes), 0);
        EXPECT_EQ(b, c.out) << c.value << " " << c.nbytes;
    }
    Bytes b(5, 0xEE);
    EXPECT_EQ(dds_putvalue(b.data(), 0x01020304), 0);
    EXPECT_EQ(b, (Bytes{1, 2, 3, 4, 0xEE}));
}

TEST(ByteHelpers, PrintBytes)
{
    unsigned char data[] = {0x00, 0xAB, 0x7F};
    char text[16];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(dds_print_bytes(text, data, 3), text);
    EXPECT_STREQ(text, "00 AB 7F ");
    memset(text, 'x', sizeof text);
    dds_print_bytes(text, data, 0);
    EXPECT_EQ(text[0], 'x');  // nothing written, not even the terminator
}

std::string dump(const Bytes &b)
{
    char *text = dds_sdump_buffer(const_cast<unsigned char *>(b.data()), static_cast<int32>(b.size()));
    std::string s = text ? text : "<null>";
    free(text);
    return s;
}

TEST(ByteHelpers, DumpLayout)
{
    Bytes letters;
    for (unsigned char c = 'A'; c <= 'T'; c++)
        letters.push_back(c);
    EXPECT_EQ(dump(letters),
              "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \tABCDEFGHIJKLMNOP\n"
              "51 52 53 54                                        \tQRST\n");
    Bytes sixteen(letters.begin(), letters.begin() + 16);
    EXPECT_EQ(dump(sixteen), "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 \tABCDEFGHIJKLMNOP\n");
    EXPECT_EQ(dump({}), "");
    EXPECT_EQ(dump({0x1F, 0x20, 0x7E, 0x7F, 0x80}),
              "1F 20 7E 7F 80                                     \t. ~..\n");
    Bytes fifteen(15, 'z');
    std::string line = dump(fifteen);
    EXPECT_EQ(line.find('\t'), 51u);
}

TEST(ByteHelpers, DumpToStream)
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *fp = open_memstream(&buf, &len);
    ASSERT_NE(fp, nullptr);
    unsigned char data[] = {'h', 'i'};
    EXPECT_EQ(dds_dump_buffer(fp, data, 2), 0);
    fclose(fp);
    EXPECT_EQ(std::string(buf, len), "68 69                                              \thi\n");
    free(buf);
}

TEST(ByteHelpers, CompareBuffers)
{
    unsigned char a[] = {1, 2, 3, 4};
    unsigned char b[] = {1, 2, 9, 9};
    int32 where = 77;
    EXPECT_EQ(dds_compare_buffers(a, b, 2, &where), 0);
    EXPECT_EQ(where, 77);
    EXPECT_EQ(dds_compare_buffers(a, b, 0, &where), 0);
    EXPECT_EQ(where, 77);
    EXPECT_EQ(dds_compare_buffers(a, b, 4, &where), -1);
    EXPECT_EQ(where, 2);
}

TEST(ByteHelpers, BufferContains)
{
    u_int8 hay[10] = {0, 1, 2, 3, 1, 2, 3, 7, 8, 9};
    u_int8 pat[] = {1, 2, 3};
    u_int8 tail[] = {8, 9};
    u_int8 whole[10] = {0, 1, 2, 3, 1, 2, 3, 7, 8, 9};
    u_int8 other[10] = {0, 1, 2, 3, 1, 2, 3, 7, 8, 8};
    EXPECT_EQ(dds_buffer_contains(hay, 10, pat, 3), hay + 1);
    EXPECT_EQ(dds_buffer_contains(hay, 10, tail, 2), hay + 8);
    EXPECT_EQ(dds_buffer_contains(hay, 10, whole, 10), hay);
    EXPECT_EQ(dds_buffer_contains(hay, 10, other, 10), nullptr);
    EXPECT_EQ(dds_buffer_contains(hay, 2, pat, 3), nullptr);
    EXPECT_EQ(dds_buffer_contains(hay, 10, pat, 0), hay);
    EXPECT_EQ(dds_buffer_contains(nullptr, 10, pat, 3), nullptr);
    EXPECT_EQ(dds_buffer_contains(hay, 10, nullptr, 3), nullptr);
    // The last possible start is tried, never a byte beyond the container.
    EXPECT_EQ(dds_buffer_contains(hay + 7, 3, tail, 2), hay + 8);
    EXPECT_EQ(dds_buffer_contains(hay + 6, 3, tail, 2), nullptr);
}

}  // namespace
