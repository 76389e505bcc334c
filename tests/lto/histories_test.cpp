// The command history and interface configuration parsers, the WWN text and
// the sort orders, on replies built from token lists. Each record is shown as
// one line of its fields, so a table row is a reply and the records it gives.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "lto_log_text.h"
#include "ltolib.h"

namespace {

using support::join;
using support::set_drive_kind;
using support::Tokens;
using Lines = std::vector<std::string>;

const std::string kHeader = "FFFF Primary Port CDB Log Version ";

// The bytes in hexadecimal, or "-" when all are zero.
std::string hex(const u_int8 *bytes, size_t n)
{
    if (std::all_of(bytes, bytes + n, [](u_int8 b) { return b == 0; }))
        return "-";
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        s += b;
    }
    return s;
}

template <typename... T>
std::string fmt(const char *format, T... values)
{
    char line[256];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

std::string show(const LTOScsiHistoryType &r)
{
    return fmt("%u/%u %s %s L%u c%02X x%X i%X s%X a%02X%02X lun%u p%u t%u tmf%u it%u n%X tag%X r%X cdb%u:",
               r.pwrOnCount, r.extrCount, r.timestamp, r.execstamp, r.layoutversion, r.entryCode, r.xid,
               r.initiator, r.status, r.ASC, r.ASCQ, r.lun, r.port, r.target, r.isTMF, r.iterationCount,
               r.datalength, r.tag, r.response, r.cdblen) +
           hex(r.cdb, 16) + " " + hex(r.sense, 20);
}
std::string show(const LTOAciHistoryType &r)
{
    return fmt("%u %s t%u u%u p%u s%u ", r.pwrOnCount, r.timestamp, r.entryType, r.payloadInUse, r.primitive,
               r.cmdSeqNo) +
           hex(r.payload, 6);
}
std::string show(const LTOAdiHistoryType &r)
{
    return fmt("%u %s t%u ", r.pwrOnCount, r.timestamp, r.entryType) + hex(r.payload, 11);
}
std::string show(const LTOScsiConfigType &r)
{
    std::string s = fmt("%u %s a%u lvd%u sp%u", r.pwrOnCount, r.timestamp, r.address, r.isLVD, r.speedLimit);
    for (const LTOScsiInitiatorType &i : r.initiator)
        s += fmt(" %u%u%u:%X:%X:%u", i.isDT, i.isWide, i.isDisc, i.period, i.offset, i.hasTalked);
    return s;
}
std::string show(const LTOAciConfigType &r)
{
    return fmt("%u %s %X %u %u %u %u", r.pwrOnCount, r.timestamp, r.baudrate, r.stopbits, r.autoflags,
               r.notifyflags, r.respPeriod);
}
std::string show(const LTOAdiConfigType &r)
{
    return fmt("%u %s %u.%u %X %X %X %u %u %u %u %u", r.pwrOnCount, r.timestamp, r.adt_major, r.adt_minor,
               r.baudrate, r.ackOffset, r.maxPayload, r.rmc_LU_b6, r.rmc_LU_b7, r.rmc_LU_b8, r.smc_LU_b6,
               r.adc_LU_b6);
}
std::string show(const LTOFcConfigType &r)
{
    std::string s = fmt("%u %s %s", r.pwrOnCount, r.timestamp, r.device_wwn);
    for (const LTOFcPortType &p : r.port)
        s += fmt(" [%s|%s|%s|%s|%s|%s]", p.initialised, p.loop_id, p.alpa, p.speed, p.topology, p.wwn);
    return s;
}

// The records a reply of `text` gives, in exactly maxdepth slots on the heap
// (so one written too many is caught), and the parser's result.
template <typename T>
std::vector<T> records(int32 (*parser)(T *, int32, u_int8 *, int32), const std::string &text, int32 maxdepth,
                       int32 &n)
{
    support::Bytes reply = support::log_reply(0, text);
    std::vector<T> out(static_cast<size_t>(maxdepth > 0 ? maxdepth : 0), T{});
    n = parser(out.empty() ? nullptr : out.data(), maxdepth, reply.data(), static_cast<int32>(reply.size()));
    return out;
}

// The result, then one line per record counted.
template <typename T>
Lines parse(int32 (*parser)(T *, int32, u_int8 *, int32), const std::string &text, int32 maxdepth = 8)
{
    int32 n = 0;
    const std::vector<T> r = records(parser, text, maxdepth, n);
    Lines out{std::to_string(n)};
    for (int32 i = 0; i < n && i < maxdepth; ++i)
        out.push_back(show(r[static_cast<size_t>(i)]));
    return out;
}

TEST(LtoScsiHistory, VersionHeaderChoosesTheLayout)
{
    // One entry that reads in both layouts: layout 3 takes it as a tag entry.
    const std::string entry = " 1 64 10 0 0 0 0 0 0 0 0 0 0 0 0 0";
    const std::pair<std::string, std::string> rows[] = {
        {"3.0", "L3"},
        {"3.0000001", "L3"},
        {"2.51", "L3"},
        {"2.5", "L2"},
        {"3.1", "-2"},
        {"nan", "-2"},
        {"x", "0"},
        // A version written long does not move where the entries begin.
        {"3.000", "L3"},
    };
    for (const auto &r : rows) {
        const Lines p = parse(lto_deasciify_new_scsi_cmdhistory, kHeader + r.first + entry);
        const std::string got = p[0] == "1" ? p[1].substr(p[1].find(" L") + 1, 2) : p[0];
        EXPECT_EQ(got, r.second) << r.first;
    }
    EXPECT_EQ(parse(lto_deasciify_new_scsi_cmdhistory, "FFFF Primary Port CDB Log" + entry), Lines{"0"});
}

TEST(LtoScsiHistory, EntriesOfEachLayout)
{
    const std::string l3 = kHeader + "3.0 ";
    using Parser = int32 (*)(LTOScsiHistoryType *, int32, u_int8 *, int32);
    const Parser page_af = lto_deasciify_new_scsi_cmdhistory, page_a6 = lto_deasciify_scsi_cmdhistory;
    const std::tuple<Parser, std::string, Lines> rows[] = {
        // Layout 3: command, tag, status and FFh entries, sorted by power-on count and time.
        {page_af,
         l3 + "2 64 5  1 2 3  12 3456 7  28001234 55667788 99AABBCC DDEEFF00  2 C8 1F  4 5 6  1 2 3  ABCD1234 "
              "5678"
              "  1 12C 20  2 99 200  70000600 0000000A 00000000 29010000 00000000  3 0 FF 1 2 3 4 5 6 7 8 9 A",
         {"4",
          "1/0 000:00:00.002997  L3 c20 x99 i0 s2 a2901 lun0 p0 t0 tmf0 it0 n200 tag0 r0 cdb0:- "
          "700006000000000A000000002901000000000000",
          "2/0 000:00:00.000999  L3 c05 x123456 i7 s0 a0000 lun3 p1 t2 tmf0 it0 n0 tag0 r0 cdb10:"
          "280012345566778899AABBCCDDEEFF00 -",
          "2/0 000:00:00.001998  L3 c1F x10002 i3 s0 a0000 lun6 p4 t5 tmf0 it0 n0 tag1234 r5678 cdb0:- -",
          "3/0 000:00:00.000000  L3 cFF x0 i0 s0 a0000 lun0 p0 t0 tmf0 it0 n0 tag0 r0 cdb0:- -"}},
        // Layout 2: 10 us ticks, execution time, initiator, lun, port, TMF.
        {page_af,
         kHeader + "2.5 7 186A0 64  2900 1234 102  A5 3 1  1 FF09  12000000 00000060 00000000",
         {"1",
          "7/0 000:00:01.000000 000:00:00.001000 L2 c00 x34 iA5 s2 a2900 lun3 p1 t0 tmf1 it9 n0 tag0 r0 cdb6:"
          "12000000000000600000000000000000 -"}},
        // Old page: bits 32..47 of the stamp; status, lun and initiator from one word.
        {page_a6,
         "3 0000000500000064 186A0 42 2  0402 C2A3  12000000 0 0",
         {"1",
          "3/5 000:00:00.001000 000:00:01.000000 L0 c00 x42 i3A s2 a0402 lun3 p0 t0 tmf0 it2 n0 tag0 r0 cdb6:"
          "12000000000000000000000000000000 -"}},
        // Entry codes 0Fh and 10h, either side of the command/tag boundary;
        // only the low 16 bits of the second exchange word count.
        {page_af,
         l3 + "1 1 F  1 2 3  12 13456 7  28001234 55667788 99AABBCC DDEEFF00  1 2 10  4 5 6  1 2 3  ABCD1234 "
              "5678",
         {"2",
          "1/0 000:00:00.000009  L3 c0F x123456 i7 s0 a0000 lun3 p1 t2 tmf0 it0 n0 tag0 r0 cdb10:"
          "280012345566778899AABBCCDDEEFF00 -",
          "1/0 000:00:00.000019  L3 c10 x10002 i3 s0 a0000 lun6 p4 t5 tmf0 it0 n0 tag1234 r5678 cdb0:- -"}},
        // Every byte-wide field of layout 2 at FFh, with bits above it set.
        {page_af,
         kHeader + "2.5 7 186A0 64  29FF 1FF 1FF  1FF 1FF 1FF  1FF 1FF  12000000 00000060 00000000",
         {"1", "7/0 000:00:01.000000 000:00:00.001000 L2 c00 xFF iFF sFF a29FF lun255 p255 t0 tmf255 it255 n0 "
               "tag0 r0 "
               "cdb6:12000000000000600000000000000000 -"}},
        // Old page: the stamp's bits 32..47 whole, bits 48..63 dropped; the
        // status, lun and initiator bits of a word with every bit set.
        {page_a6,
         "3 FFFF123400000064 186A0 42 2  0402 FFFFFFFF  12000000 0 0",
         {"1",
          "3/4660 000:00:00.001000 000:00:01.000000 L0 c00 x42 i3F s3F a0402 lun15 p0 t0 tmf0 it2 n0 tag0 r0 "
          "cdb6:12000000000000000000000000000000 -"}},
        // FFh without its ten numbers counts and ends the parse.
        {page_af,
         l3 + "2 0 FF 1 2 z 1 1 FF",
         {"1", "2/0 000:00:00.000000  L3 cFF x0 i0 s0 a0000 lun0 p0 t0 tmf0 it0 n0 tag0 r0 cdb0:- -"}},
    };
    for (const auto &r : rows)
        EXPECT_EQ(parse(std::get<0>(r), std::get<1>(r)), std::get<2>(r));
}

TEST(LtoScsiHistory, CdbLengthAndSenseByteOrder)
{
    // By the group code, the operation code's top three bits.
    const std::pair<const char *, int> cdbs[] = {{"1F", 6},  {"20", 10}, {"5A", 10}, {"7F", 12},
                                                 {"88", 16}, {"BF", 12}, {"C0", 12}, {"E0", 12}};
    int32 n = 0;
    for (const auto &c : cdbs) {
        const std::string text = kHeader + "3.0 1 1 0 0 0 0 0 0 0 " + c.first + "000000 0 0 0";
        EXPECT_EQ(records(lto_deasciify_new_scsi_cmdhistory, text, 1, n)[0].cdblen, c.second) << c.first;
    }
    // Words little-endian only without the response code bits and with 10h atop the second.
    const std::pair<const char *, const char *> senses[] = {
        {"70000600 0000000A 00000000 29000000 00000000", "700006000000000A0000000029000000"},
        {"00060070 10000000 00000000 00000029 00000000", "70000600000000100000000029000000"},
        {"00060070 0A000000 00000000 00000029 00000000", "000600700A0000000000000000000029"},
        {"70000600 10000000 00000000 29000000 00000000", "70000600100000000000000029000000"},
    };
    for (const auto &s : senses) {
        const LTOScsiHistoryType r = records(lto_deasciify_new_scsi_cmdhistory,
                                             kHeader + "3.0 1 1 20 2 0 0 " + s.first, 1, n)[0];
        EXPECT_EQ(hex(r.sense, 16), s.second) << s.first;
        EXPECT_EQ(r.ASC, r.sense[12]);
        EXPECT_EQ(r.ASCQ, r.sense[13]);
    }
}

TEST(LtoInterfaceLogs, HistoriesAndConfigurations)
{
    set_drive_kind(0, 3);  // 16 us ticks
    Tokens initiators(16, "0");
    initiators[0] = "00010F08";  // DT, period 0Fh, offset 08h: it has talked
    initiators[1] = "00080000";
    initiators[2] = "00060000";
    const std::string talked = " 100:F:8:1 000:0:0:1 011:0:0:1" +
                               join(Tokens(13, "000:0:0:0"), " ").insert(0, " ");
    // A cut payload or initiator list counts its entry and ends the parse.
    EXPECT_EQ(parse(lto_deasciify_aci_cmdhistory, "2 F4240 1 6 3 44 A B C D E F  1 0 2 1 3 4 AB CD"),
              (Lines{"2", "1 000:00:00.000000 t2 u1 p3 s4 ABCD00000000",
                     "2 000:00:16.000000 t1 u6 p3 s68 0A0B0C0D0E0F"}));
    EXPECT_EQ(parse(lto_deasciify_aci_cmdhistory, "1 0 1 2 3"), Lines{"0"});
    EXPECT_EQ(parse(lto_deasciify_adi_cmdhistory, "1 0 7 0 1 2 3 4 5 6 7 8 9 1FF  2 0 8"),
              (Lines{"2",
                     "1 000:00:00.000000 t7 000102030405060708"
                     "09FF",
                     "2 000:00:00.000000 t8 -"}));
    EXPECT_EQ(parse(lto_deasciify_scsi_config, "1 0 B5 " + join(initiators) + " 2 0 7 1 2"),
              (Lines{"2", "1 000:00:00.000000 a5 lvd1 sp3" + talked,
                     "2 000:00:00.000000 a7 lvd0 sp0 000:0:1:1 000:0:2:1" +
                         join(Tokens(14, "000:0:0:0"), " ").insert(0, " ")}));
    // Every bit of the address and speed fields, LVD clear; an initiator with
    // full period and offset and only bits above its flags set.
    EXPECT_EQ(parse(lto_deasciify_scsi_config, "1 0 7F FFF0FFFF" + join(Tokens(15, "0")).insert(0, " ")),
              (Lines{"1", "1 000:00:00.000000 a15 lvd0 sp7 000:FF:FF:1" +
                              join(Tokens(15, "000:0:0:0"), " ").insert(0, " ")}));
    EXPECT_EQ(parse(lto_deasciify_aci_config, "1 0 2580 1 102 203 304  2 0 1 2 3 4"),
              (Lines{"1", "1 000:00:00.000000 2580 1 2 3 4"}));
    EXPECT_EQ(parse(lto_deasciify_adi_config, "1 0 102 3 9600 11234 10400  1 2 3 4 105  2 0 1 1 1 1 1"),
              (Lines{"1", "1 000:00:00.000000 2.3 9600 1234 400 1 2 3 4 5"}));

    // Later generations count ticks of 9.99 us.
    set_drive_kind(0, 4);
    EXPECT_EQ(parse(lto_deasciify_aci_config, "1 18704 0 0 0 0 0"),
              (Lines{"1", "1 000:00:01.000000 0 0 0 0 0"}));
}

TEST(LtoFcConfig, PortsAndWwns)
{
    set_drive_kind(0, 3);
    const std::pair<std::string, Lines> rows[] = {
        {"1 0  5 E8 1 2 1  0 0 0 9 3  500110A000112233 500110A000112234 500110A000112235",
         {"1", "1 000:00:00.000000 50:01:10:A0:00:11:22:33 [Yes|5|0xE8|2Gb/s  |Private loop "
               "|50:01:10:A0:00:11:22:34]"
               " [No|n/a|n/a|Unkwn (9)|Direct attach|50:01:10:A0:00:11:22:35]"}},
        // Values too wide for their fields are cut to them; a WWN keeps 16 digits.
        {"1 0  FFFFF 1234 1 75BCD15 7FFFFFFF  FFFFF 1234 2 0 2  0123456789ABCDEF01 B C",
         {"1", "1 000:00:00.000000 01:23:45:67:89:AB:CD:EF [Yes|n/a|n/a|Unkwn (1234|Unknown (2147483647|B]"
               " [No|10485|0x123|Not set|Public loop  |C]"}},
        // Ports on a loop that are not up have no loop id or AL_PA.
        {"1 0  5 E8 0 2 1  6 E4 0 2 2  A B C",
         {"1",
          "1 000:00:00.000000 A [No|n/a|n/a|2Gb/s  |Private loop |B] [No|n/a|n/a|2Gb/s  |Public loop  |C]"}},
        // The last speed and topology of the tables, and the first codes past them.
        {"1 0  0 0 1 7 4  0 0 0 8 5  A B C",
         {"1",
          "1 000:00:00.000000 A [Yes|n/a|n/a|Unkwn7 |Fabric attach|B] [No|n/a|n/a|Unkwn (8)|Unknown (5)|C]"}},
        // A port group that does not match: the WWNs come from where it began,
        // the entry counts and the parse ends.
        {"1 0  5 E8 1 2 x  A B C  2 0 0 0 0 0 0 0 0 0 0 0 D E F",
         {"1", "1 000:00:00.000000 5 [|||||E8] [|||||1]"}},
        // A text that ends before the WWNs leaves them empty.
        {"1 0  5 E8 1 2 1  0 0 0 9 3 AB",
         {"1",
          "1 000:00:00.000000 AB [Yes|5|0xE8|2Gb/s  |Private loop |] [No|n/a|n/a|Unkwn (9)|Direct attach|]"}},
    };
    for (const auto &r : rows)
        EXPECT_EQ(parse(lto_deasciify_fc_config, r.first), r.second);

    const std::pair<const char *, const char *> wwns[] = {
        {"500110A000112233", "50:01:10:A0:00:11:22:33"}, {"A1B", "A1:B"}, {"AB", "AB"}, {"A", "A"}, {"", ""},
    };
    for (const auto &w : wwns) {
        char out[LTO_WWN_SIZE];
        EXPECT_EQ(lto_format_wwn(const_cast<char *>(w.first), out), 0);
        EXPECT_STREQ(out, w.second);
    }
}

// The record loop all parsers share stores at most maxdepth entries.
TEST(LtoHistoryParsers, MaxdepthBoundsTheRecordsStored)
{
    for (const auto &depth : {std::make_pair(0, 0u), {-1, 0u}, {1, 1u}, {2, 2u}, {3, 2u}})
        EXPECT_EQ(parse(lto_deasciify_aci_config, "1 1 0 0 0 0 0 2 1 0 0 0 0 0", depth.first).size(),
                  depth.second + 1)
            << "maxdepth " << depth.first;
}

// The comparator over two records that differ only in one count.
template <typename T>
std::function<int(u_int32, u_int32)> by(int (*compare)(const void *, const void *), u_int32 T::*count)
{
    return [=](u_int32 a, u_int32 b) {
        T x{}, y{};
        x.*count = a;
        y.*count = b;
        return compare(&x, &y);
    };
}

TEST(LtoLogOrder, CountsCompareUnsigned)
{
    const std::pair<const char *, std::function<int(u_int32, u_int32)>> cases[] = {
        {"faults", by(lto_compare_faults, &LTOFaultLogType::pwrcycount)},
        {"scsihist", by(lto_compare_scsihist, &LTOScsiHistoryType::pwrOnCount)},
        {"scsihist stamp", by(lto_compare_scsihist, &LTOScsiHistoryType::extrCount)},
        {"acihist", by(lto_compare_acihist, &LTOAciHistoryType::pwrOnCount)},
        {"adihist", by(lto_compare_adihist, &LTOAdiHistoryType::pwrOnCount)},
        {"scsicfg", by(lto_compare_scsicfg, &LTOScsiConfigType::pwrOnCount)},
        {"acicfg", by(lto_compare_acicfg, &LTOAciConfigType::pwrOnCount)},
        {"adicfg", by(lto_compare_adicfg, &LTOAdiConfigType::pwrOnCount)},
        {"fccfg", by(lto_compare_fccfg, &LTOFcConfigType::pwrOnCount)},
    };
    for (const auto &c : cases) {
        EXPECT_LT(c.second(1, 0x80000000), 0) << c.first;
        EXPECT_GT(c.second(0x80000000, 1), 0) << c.first;
    }
}

TEST(LtoLogOrder, PowerOnCountThenStampThenTime)
{
    set_drive_kind(0, 3);
    EXPECT_EQ(parse(lto_deasciify_aci_config,
                    "2 1 0 0 0 0 0  1 2 0 0 0 0 0  1 1 0 0 0 0 0  0 FFFFFFFF 0 0 0 0 0"),
              (Lines{"4", "0 019:05:19.476720 0 0 0 0 0", "1 000:00:00.000016 0 0 0 0 0",
                     "1 000:00:00.000032 0 0 0 0 0", "2 000:00:00.000016 0 0 0 0 0"}));
    // The old SCSI history orders by its stamp's upper count before the time.
    const Lines old = parse(lto_deasciify_scsi_cmdhistory,
                            "1 0000000200000001 0 0 0 0 0 0 0 0  1 0000000100000009 0 0 0 0 0 0 0 0");
    EXPECT_EQ(old[1].substr(0, 4) + old[2].substr(0, 4), "1/1 1/2 ");

    const char *texts[] = {"b", "c", "a"};
    std::qsort(texts, 3, sizeof texts[0], lto_compare_eventlog);
    EXPECT_EQ(std::string(texts[0]) + texts[1] + texts[2], "abc");
}

}  // namespace
