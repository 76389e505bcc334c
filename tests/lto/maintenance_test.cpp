// The vendor maintenance commands and the IP configuration through the
// emulated KV LTO drive: the exact CDBs and lists sent, the replies taken
// apart, the faults of untrusted replies.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cm_page_builder.h"
#include "kvemu.h"
#include "lto_drive.h"
#include "ltolib.h"
#include "ltolib/maintenance.h"
#include "models/lto_maintenance.h"

namespace {

using cmtest::Block;
using Lines = std::vector<std::string>;

class LtoMaintenance : public LtoDriveTest {
protected:
    static Lines cdbs() { return commands_of("cmd"); }
    static kvemu::LtoMaintenance &maintenance() { return *kvemu::lto_maintenance_of(kvemu::node(0)); }
};

// An IP configuration list: the header counts what follows.
Block ip_list(const std::vector<std::pair<u_int8, std::vector<u_int8>>> &descriptors)
{
    Block b(4);
    size_t at = 4;
    for (const auto &d : descriptors) {
        b.u8(at, d.first).u8(at + 3, static_cast<u_int32>(d.second.size())).bytes_at(at + 4, d.second);
        at += 4 + d.second.size();
    }
    return b.be16(2, static_cast<u_int32>(at - 4));
}

// The settings that are numbers: flags, MTU and the settable IPv4 addresses.
std::vector<u_int32> numbers(const LTOIPConfigType &c)
{
    return {c.iadtdisc,    c.disable,      c.ipv4acq,      c.ipv6acq,   c.mtusize,
            c.ipv4_static, c.ipv4_netmask, c.ipv4_gateway, c.ipv4_dns1, c.ipv4_dns2};
}

TEST_F(LtoMaintenance, CommandFrames)
{
    open_drive(key("reply.a31f05", kvemu::Bytes(600, 0x11)) + key("reply.a31f06", kvemu::Bytes(16, 0x22)) +
               key("reply.a31f10", kvemu::Bytes(24, 0x33)));
    scsi_set_link(&drv, 0x5A);
    std::vector<u_int8> segment(0x8000, 0xC3), buffer(0x10400);
    LTOIPConfigType ip{};

    constexpr int32 kAny = -2;  // the size of the drive's own list
    struct Case {
        const char *name;
        std::function<int32()> call;
        const char *cdb;
        int32 result;
    };
    const Case cases[] = {
        {"segment", [&] { return lto_download_fwsegment(&drv, 0x123456, 0x8000, segment.data(), 3); },
         "A4 1F 05 12 34 56 00 80 00 00 01 00", 0x8000},
        {"segment not last", [&] { return lto_download_fwsegment(&drv, 0, 16, segment.data(), 2); },
         "A4 1F 05 00 00 00 00 00 10 00 00 00", 16},
        {"reboot", [&] { return lto_reboot_fw(&drv, 3); }, "A4 1F 06 01 00 00 00 00 00 00 00 00", 0},
        {"firmware information", [&] { return lto_report_fwinfo(&drv, buffer.data(), 66051); },
         "A3 1F 05 00 00 00 02 03 00 00 00 00", 515},  // the drive sends what bytes 6..7 allow
        {"LIH table", [&] { return lto_read_lih_table(&drv, 0x1F, buffer.data(), 0x102); },
         "A3 1F 06 0F 00 00 00 00 01 02 00 00", 16},
        {"trace", [&] { return lto_get_ext_firmware_trace(&drv, 2, 3, buffer.data(), 0x10000); },
         "A3 1F 10 02 03 00 00 01 00 00 00 5A", 24},
        {"IP configuration in", [&] { return lto_get_ip_config(&drv, &ip); },
         "A3 1F 12 00 00 00 00 00 04 00 00 5A", kAny},
        {"IP configuration out", [&] { return lto_set_ip_config(&drv, &ip); },
         "A4 1F 12 00 00 00 00 00 00 6C 00 5A", 108},
    };
    for (const Case &c : cases) {
        kvemu::clear_trace();
        const int32 result = c.call();
        if (c.result != kAny) {
            EXPECT_EQ(result, c.result) << c.name;
        }
        EXPECT_EQ(cdbs(), Lines{c.cdb}) << c.name;
    }
    ASSERT_EQ(maintenance().segments().size(), 2u);
    EXPECT_EQ(maintenance().segments()[0].offset, 0x123456u);
    EXPECT_TRUE(maintenance().segments()[0].last);
    EXPECT_EQ(maintenance().segments()[0].data, kvemu::Bytes(0x8000, 0xC3));
    EXPECT_FALSE(maintenance().segments()[1].last);
    EXPECT_EQ(maintenance().reboots(), 1);
    EXPECT_EQ(maintenance().last_swap(), 1);
}

TEST_F(LtoMaintenance, RefusedUnsent)
{
    open_drive();
    u_int8 byte = 0;
    // 24-bit fields: one at the limit goes out, one past it does not.
    EXPECT_EQ(lto_download_fwsegment(&drv, 0xFFFFFF, 1, &byte, 1), 1);
    EXPECT_EQ(cdbs(), Lines{"A4 1F 05 FF FF FF 00 00 01 00 01 00"});
    kvemu::clear_trace();
    std::vector<u_int8> largest(0xFFFFFF, 0x5A);
    EXPECT_EQ(lto_download_fwsegment(&drv, 0, 0xFFFFFF, largest.data(), 0), 0xFFFFFF);
    EXPECT_EQ(cdbs(), Lines{"A4 1F 05 00 00 00 FF FF FF 00 00 00"});
    kvemu::clear_trace();
    EXPECT_EQ(lto_download_fwsegment(&drv, 0x1000000, 1, &byte, 1), -1);
    EXPECT_EQ(lto_download_fwsegment(&drv, -1, 1, &byte, 1), -1);
    EXPECT_EQ(lto_download_fwsegment(&drv, 0, 0x1000000, &byte, 1), -1);
    EXPECT_EQ(lto_download_fwsegment(&drv, 0, 16, nullptr, 1), -1);
    EXPECT_EQ(lto_report_fwinfo(&drv, nullptr, 16), -1);
    EXPECT_EQ(lto_get_fwtracelist(&drv, nullptr, 2), -1);
    EXPECT_EQ(lto_get_ip_config(&drv, nullptr), -1);
    EXPECT_EQ(lto_set_ip_config(&drv, nullptr), -1);
    EXPECT_TRUE(commands().empty());
}

TEST_F(LtoMaintenance, TraceList)
{
    Block list(4 + 3 * 8);
    for (u_int32 i = 0; i < 3; i++)
        list.u8(4 + 8 * i, 7 + i).u8(5 + 8 * i, i).u8(6 + 8 * i, 0xEE).be32(8 + 8 * i, 0x80000000u + i);
    open_drive(key("reply.a31f10", list.bytes()));
    scsi_set_link(&drv, 0x01);
    LTOfwtlistType entries[3] = {};
    EXPECT_EQ(lto_get_fwtracelist(&drv, entries, 2), 2);
    EXPECT_EQ(cdbs(), Lines{"A3 1F 10 00 00 00 00 00 04 00 00 01"});
    EXPECT_EQ(entries[0].lognum, 7);
    EXPECT_EQ(entries[1].banknum, 1);
    EXPECT_EQ(entries[1].logsize, 0x80000001u);
    EXPECT_EQ(entries[2].logsize, 0u);  // no room was given for it
    EXPECT_EQ(lto_get_fwtracelist(&drv, entries, 3), 3);
    EXPECT_EQ(entries[2].lognum, 9);

    // An entry cut short by the end of the reply is not taken.
    EXPECT_EQ(ltolib::decode_trace_list(list.data(), 4 + 2 * 8 + 7, entries, 3), 2);

    open_drive("override = a3 status=2 sense=70000500000000000000000024000000\n");
    EXPECT_EQ(lto_get_fwtracelist(&drv, entries, 3), -1);
}

TEST_F(LtoMaintenance, IpConfigurationWalk)
{
    // An unknown descriptor between the MTU and the static address.
    const std::vector<u_int8> v6(20, 0x66), link(20, 0x77);
    // Every bit of the flag bytes set.
    Block reply = ip_list({{0, {0xFF, 0x9F, 0, 0}},
                           {1, {1, 2, 3, 4, 5, 6}},
                           {2, {0, 0, 0x05, 0xDC}},
                           {17, {9, 9, 9, 9, 9, 9, 9, 9}},
                           {3, {192, 168, 1, 10}},
                           {4, {255, 255, 255, 0}},
                           {16, {10, 0, 0, 1}},
                           {9, v6},
                           {32, link}});
    open_drive(key("ip_config", reply.bytes()));
    log_at(LOG_ERRORS_ONLY);
    LTOIPConfigType c;
    std::memset(&c, 0xA5, sizeof c);
    EXPECT_EQ(lto_get_ip_config(&drv, &c), static_cast<int32>(reply.size()));
    // What the reply does not hold is zeroed.
    EXPECT_EQ(numbers(c), (std::vector<u_int32>{1, 1, 9, 15, 1500, 0xC0A8010A, 0xFFFFFF00, 0, 0, 0}));
    EXPECT_EQ(std::vector<u_int8>(c.macaddr, c.macaddr + 6), (std::vector<u_int8>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(c.ipv4_assigned, 0x0A000001u);
    EXPECT_EQ(std::vector<u_int8>(c.ipv6_default_dns2, c.ipv6_default_dns2 + 20), v6);
    EXPECT_EQ(std::vector<u_int8>(c.ipv6_linklocal, c.ipv6_linklocal + 20), link);
    EXPECT_EQ(c.ipv6_dns1[0], 0);
    // The offset is that of the unknown descriptor's body.
    EXPECT_EQ(log_text(), "T Sys | Error - unknown descriptor type 0x11 found at offset 34!|\n");

    // A header that claims more than was sent: the walk stops at what came.
    Block longer = ip_list({{2, {0, 0, 0x23, 0x28}}}).be16(2, 0x3FC);
    open_drive(key("ip_config", longer.bytes()));
    EXPECT_EQ(lto_get_ip_config(&drv, &c), 12);
    EXPECT_EQ(c.mtusize, 9000u);
}

// A descriptor whose body reaches past the reply reads zeros there, and
// nothing past the reply is read.
TEST_F(LtoMaintenance, IpDescriptorAtTheEnd)
{
    // Padding descriptors (type 40h) up to byte 1016, then type 8 with a
    // 20-byte body of which 4 bytes were received: 1024 bytes in all.
    std::vector<std::pair<u_int8, std::vector<u_int8>>> ds;
    for (size_t at = 4; at < 1016;) {
        const size_t body = std::min<size_t>(255, 1016 - at - 4);
        ds.push_back({0x40, std::vector<u_int8>(body, 0xEE)});
        at += 4 + body;
    }
    ds.push_back({8, {1, 2, 3, 4}});
    Block reply = ip_list(ds);
    reply.u8(1016 + 3, 20);
    ASSERT_EQ(reply.size(), 1024u);
    open_drive(key("ip_config", reply.bytes()));
    LTOIPConfigType c;
    EXPECT_EQ(lto_get_ip_config(&drv, &c), 1024);
    std::vector<u_int8> want = {1, 2, 3, 4};
    want.resize(20);
    EXPECT_EQ(std::vector<u_int8>(c.ipv6_default_dns1, c.ipv6_default_dns1 + 20), want);

    // The same over exactly the bytes received, with the header at 1020.
    std::vector<u_int8> bytes(reply.bytes().begin(), reply.bytes().end());
    bytes[1016] = 0x40;
    bytes[1019] = 0;
    bytes[1020] = 32;
    bytes[1023] = 20;
    EXPECT_EQ(ltolib::decode_ip_config(bytes.data(), 1024, &c, nullptr), 1024);
    EXPECT_EQ(c.ipv6_linklocal[0], 0);
    EXPECT_EQ(c.ipv6_linklocal[19], 0);
}

TEST_F(LtoMaintenance, IpConfigurationSetAndGet)
{
    open_drive();
    scsi_set_link(&drv, 0);
    // Every field zero: all nine descriptors still go out.
    LTOIPConfigType zero{};
    EXPECT_EQ(lto_set_ip_config(&drv, &zero), 108);
    // Header, flags, MTU; the five IPv4 addresses; the two IPv6 blocks.
    EXPECT_EQ(commands().back(), "out 00 00 00 68 00 00 00 04 00 00 00 00 02 00 00 04 00 00 00 00"
                                 " 03 00 00 04 00 00 00 00 04 00 00 04 00 00 00 00 05 00 00 04 00 00 00 00"
                                 " 06 00 00 04 00 00 00 00 07 00 00 04 00 00 00 00"
                                 " 08 00 00 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
                                 " 09 00 00 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");

    // What is set reads back; the read-only fields are the drive's own.
    LTOIPConfigType set{};
    set.iadtdisc = 1;
    set.ipv4acq = 0xA;
    set.ipv6acq = 0x5;
    set.mtusize = 9000;
    set.ipv4_static = 0xC0A80002;
    set.ipv4_netmask = 0xFFFF0000;
    set.ipv4_gateway = 0xC0A80001;
    set.ipv4_dns1 = 0x08080808;
    set.ipv4_dns2 = 0x01010101;
    set.ipv4_assigned = 0x7F000001;  // not sent
    std::memset(set.ipv6_default_dns1, 0x61, 20);
    std::memset(set.ipv6_default_dns2, 0x62, 20);
    std::memset(set.ipv6_global, 0x63, 20);  // not sent
    EXPECT_EQ(lto_set_ip_config(&drv, &set), 108);
    LTOIPConfigType got;
    ASSERT_GT(lto_get_ip_config(&drv, &got), 0);
    EXPECT_EQ(numbers(got), numbers(set));
    EXPECT_EQ(std::memcmp(got.ipv6_default_dns1, set.ipv6_default_dns1, 20), 0);
    EXPECT_EQ(std::memcmp(got.ipv6_default_dns2, set.ipv6_default_dns2, 20), 0);
    EXPECT_EQ(got.ipv4_assigned, 0u);
    EXPECT_EQ(got.ipv6_global[0], 0);
    EXPECT_EQ(std::vector<u_int8>(got.macaddr, got.macaddr + 6),
              (std::vector<u_int8>{0x02, 0x4B, 0x56, 0x00, 0x00, 0x01}));

    // A flag value wider than its field is cut to the field; it never spills
    // into the neighbouring setting that shares its byte.
    LTOIPConfigType wide = set;
    wide.disable = 2;
    wide.ipv6acq = 0x15;
    EXPECT_EQ(lto_set_ip_config(&drv, &wide), 108);
    ASSERT_GT(lto_get_ip_config(&drv, &got), 0);
    EXPECT_EQ(numbers(got), numbers(set));
}

}  // namespace
