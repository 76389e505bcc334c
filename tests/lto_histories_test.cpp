// The command history and interface configuration parsers, the WWN text and
// the sort orders, on replies built from token lists.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lto_log_text.h"
#include "ltolib.h"

namespace {

using support::Bytes;
using support::join;
using support::log_reply;
using support::LtoDriveKind;
using support::Tokens;

constexpr char kHeader[] = "FFFF Primary Port CDB Log Version ";

// Parses the text into exactly `maxdepth` records on the heap, so a parser
// that writes one record too many is caught.
template <typename T>
struct Parsed {
    int32 count;
    std::vector<T> records;
};

template <typename T>
Parsed<T> parse(int32 (*parser)(T *, int32, u_int8 *, int32), const std::string &text, int32 maxdepth = 8)
{
    Bytes reply = log_reply(0, text);
    std::vector<T> records(static_cast<size_t>(maxdepth > 0 ? maxdepth : 0));
    if (!records.empty())
        std::memset(static_cast<void *>(records.data()), 0xEE, records.size() * sizeof(T));
    int32 n = parser(records.empty() ? nullptr : records.data(), maxdepth, reply.data(),
                     static_cast<int32>(reply.size()));
    return {n, records};
}

std::string hex(const u_int8 *bytes, size_t n)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

TEST(LtoScsiHistory, VersionHeaderChoosesTheLayout)
{
    // One entry that reads in both layouts: layout 3 takes 11 numbers of it as
    // a tag entry, layout 2 all 16.
    const std::string entry = " 1 64 10 0 0 0 0 0 0 0 0 0 0 0 0 0";
    struct Row {
        const char *version;
        int32 result;
        int layout;
    };
    const Row rows[] = {
        {"3.0", 1, 3}, {"2.6", 1, 3},  {"2.51", 1, 3}, {"2.5", 1, 2}, {"1", 1, 2},         {"3.1", -2, 0},
        {"4", -2, 0},  {"inf", -2, 0}, {"nan", -2, 0}, {"x", 0, 0},   {"3.0000001", 1, 3},
    };
    for (const Row &r : rows) {
        auto p = parse(lto_deasciify_new_scsi_cmdhistory, kHeader + std::string(r.version) + entry);
        EXPECT_EQ(p.count, r.result) << r.version;
        if (r.layout != 0) {
            EXPECT_EQ(p.records[0].layoutversion, r.layout) << r.version;
        }
    }
    EXPECT_EQ(parse(lto_deasciify_new_scsi_cmdhistory, "FFFF Primary Port CDB Log" + entry).count, 0);
    // A version written long does not shift where the entries begin.
    auto p = parse(lto_deasciify_new_scsi_cmdhistory, kHeader + std::string("3.000") + entry);
    ASSERT_EQ(p.count, 1);
    EXPECT_EQ(p.records[0].pwrOnCount, 1u);
    EXPECT_EQ(p.records[0].entryCode, 0x10);
}

TEST(LtoScsiHistory, Layout3Entries)
{
    const std::string text = join({
        kHeader + std::string("3.0"),
        // command entry: port, target, lun; xid words, initiator; four CDB words
        "2 64 5  1 2 3  12 3456 7  28001234 55667788 99AABBCC DDEEFF00",
        // tag entry
        "2 C8 1F  4 5 6  1 2 3  ABCD1234 5678",
        // status entry: status, xid, data length; five sense words
        "1 12C 20  2 99 200  70000600 0000000A 00000000 29010000 00000000",
        // FFh: ten numbers of no use
        "3 0 FF 1 2 3 4 5 6 7 8 9 A",
    });
    auto p = parse(lto_deasciify_new_scsi_cmdhistory, text);
    ASSERT_EQ(p.count, 4);
    const LTOScsiHistoryType &status = p.records[0], &cmd = p.records[1], &tag = p.records[2],
                             &ff = p.records[3];

    EXPECT_STREQ(cmd.timestamp, "000:00:00.000999");  // 100 ticks of 9.99 us
    EXPECT_EQ(cmd.extrCount, 0u);
    EXPECT_EQ(cmd.entryCode, 5);
    EXPECT_EQ(cmd.port, 1);
    EXPECT_EQ(cmd.target, 2);
    EXPECT_EQ(cmd.lun, 3);
    EXPECT_EQ(cmd.xid, 0x123456u);
    EXPECT_EQ(cmd.initiator, 7u);
    EXPECT_EQ(hex(cmd.cdb, 16), "28 00 12 34 55 66 77 88 99 AA BB CC DD EE FF 00");
    EXPECT_EQ(cmd.cdblen, 10);

    EXPECT_EQ(tag.entryCode, 0x1F);
    EXPECT_EQ(tag.xid, 0x10002u);
    EXPECT_EQ(tag.tag, 0x1234);
    EXPECT_EQ(tag.response, 0x5678);

    EXPECT_EQ(status.entryCode, 0x20);
    EXPECT_EQ(status.status, 2);
    EXPECT_EQ(status.xid, 0x99u);
    EXPECT_EQ(status.datalength, 0x200u);
    EXPECT_EQ(hex(status.sense, 20), "70 00 06 00 00 00 00 0A 00 00 00 00 29 01 00 00 00 00 00 00");
    EXPECT_EQ(status.ASC, 0x29);
    EXPECT_EQ(status.ASCQ, 0x01);

    EXPECT_EQ(ff.entryCode, 0xFF);
    EXPECT_EQ(ff.pwrOnCount, 3u);
    EXPECT_EQ(ff.layoutversion, 3);
}

TEST(LtoScsiHistory, CdbLengthByGroupCode)
{
    const std::pair<const char *, int> rows[] = {
        {"0A000000", 6},  {"28001234", 10}, {"5A000000", 10}, {"7F000000", 12},
        {"88000000", 16}, {"A0000000", 12}, {"C0000000", 12}, {"E0000000", 12},
    };
    for (const auto &r : rows) {
        auto p = parse(lto_deasciify_new_scsi_cmdhistory,
                       kHeader + std::string("3.0 1 1 0 0 0 0 0 0 0 ") + r.first + " 0 0 0");
        ASSERT_EQ(p.count, 1);
        EXPECT_EQ(p.records[0].cdblen, r.second) << r.first;
        // The old layout reads the same rule from its three CDB words.
        auto old = parse(lto_deasciify_scsi_cmdhistory, std::string("1 1 0 0 0 0 0 ") + r.first + " 0 0");
        ASSERT_EQ(old.count, 1);
        EXPECT_EQ(old.records[0].cdblen, r.second) << r.first;
    }
}

TEST(LtoScsiHistory, SenseWordsInEitherByteOrder)
{
    struct Row {
        const char *words;
        const char *sense;
        u_int8 asc;
    };
    const Row rows[] = {
        {"70000600 0000000A 00000000 29000000 00000000", "70 00 06 00 00 00 00 0A 00 00 00 00 29 00", 0x29},
        {"00060070 10000000 00000000 00000029 00000000", "70 00 06 00 00 00 00 10 00 00 00 00 29 00", 0x29},
        {"00060070 0A000000 00000000 00000029 00000000", "00 06 00 70 0A 00 00 00 00 00 00 00 00 00", 0x00},
        // Response code bits all set: most significant byte first, whatever follows.
        {"70000600 10000000 00000000 29000000 00000000", "70 00 06 00 10 00 00 00 00 00 00 00 29 00", 0x29},
    };
    for (const Row &r : rows) {
        auto p = parse(lto_deasciify_new_scsi_cmdhistory, kHeader + std::string("3.0 1 1 20 2 0 0 ") + r.words);
        ASSERT_EQ(p.count, 1) << r.words;
        EXPECT_EQ(hex(p.records[0].sense, 14), r.sense) << r.words;
        EXPECT_EQ(p.records[0].ASC, r.asc) << r.words;
        EXPECT_EQ(p.records[0].ASCQ, 0) << r.words;
    }
}

TEST(LtoScsiHistory, Layout2AndOldLayout)
{
    auto l2 = parse(lto_deasciify_new_scsi_cmdhistory,
                    join({kHeader + std::string("2.5"), "7 186A0 64", "2900 1234 102", "A5 3 1", "1 FF09",
                          "12000000 00000060 00000000"}));
    ASSERT_EQ(l2.count, 1);
    const LTOScsiHistoryType &e = l2.records[0];
    EXPECT_EQ(e.pwrOnCount, 7u);
    EXPECT_STREQ(e.timestamp, "000:00:01.000000");  // 10 us ticks
    EXPECT_EQ(e.exectime, 0x64u);
    EXPECT_STREQ(e.execstamp, "000:00:00.001000");
    EXPECT_EQ(e.ASC, 0x29);
    EXPECT_EQ(e.ASCQ, 0x00);
    EXPECT_EQ(e.xid, 0x34u);
    EXPECT_EQ(e.status, 0x02);
    EXPECT_EQ(e.initiator, 0xA5u);
    EXPECT_EQ(e.lun, 3);
    EXPECT_EQ(e.port, 1);
    EXPECT_EQ(e.isTMF, 1);
    EXPECT_EQ(e.iterationCount, 0x09u);
    EXPECT_EQ(e.cdblen, 6);
    EXPECT_EQ(e.layoutversion, 2);

    // Old page: bits 32..47 of the stamp are a count of their own.
    auto old = parse(lto_deasciify_scsi_cmdhistory, "3 0000000500000064 186A0 42 2  0402 C2A3  12000000 0 0");
    ASSERT_EQ(old.count, 1);
    const LTOScsiHistoryType &o = old.records[0];
    EXPECT_EQ(o.extrCount, 5u);
    EXPECT_STREQ(o.timestamp, "000:00:00.001000");
    EXPECT_STREQ(o.execstamp, "000:00:01.000000");
    EXPECT_EQ(o.xid, 0x42u);
    EXPECT_EQ(o.iterationCount, 2u);
    EXPECT_EQ(o.ASC, 0x04);
    EXPECT_EQ(o.ASCQ, 0x02);
    EXPECT_EQ(o.status, 0x02);
    EXPECT_EQ(o.lun, 3);
    EXPECT_EQ(o.initiator, 0x3Au);
    EXPECT_EQ(o.cdb[0], 0x12);
}

TEST(LtoScsiHistory, FfEntryWithoutItsTenNumbersEndsTheParse)
{
    auto p = parse(lto_deasciify_new_scsi_cmdhistory,
                   kHeader + std::string("3.0 1 0 FF 1 2 3 4 5 6 7 8 9 A 2 0 FF 1 2 3"));
    EXPECT_EQ(p.count, 2);
    auto cut = parse(lto_deasciify_new_scsi_cmdhistory, kHeader + std::string("3.0 2 0 FF 1 2 z 1 1 FF"));
    EXPECT_EQ(cut.count, 1);
}

TEST(LtoInterfaceHistories, AciAndAdiEntries)
{
    LtoDriveKind kind(0, 4);  // 9.99 us ticks
    auto aci = parse(lto_deasciify_aci_cmdhistory, "2 18704 1 6 3 44 A B C D E F  1 0 2 1 3 4 AB CD");
    ASSERT_EQ(aci.count, 2);  // the second's cut payload ends the parse, yet it counts
    const LTOAciHistoryType &a = aci.records[1];
    EXPECT_STREQ(a.timestamp, "000:00:01.000000");
    EXPECT_EQ(a.entryType, 1);
    EXPECT_EQ(a.payloadInUse, 6);
    EXPECT_EQ(a.primitive, 3);
    EXPECT_EQ(a.cmdSeqNo, 0x44);
    EXPECT_EQ(hex(a.payload, 6), "0A 0B 0C 0D 0E 0F");
    EXPECT_EQ(hex(aci.records[0].payload, 2), "AB CD");
    // Without its four codes an entry does not count.
    EXPECT_EQ(parse(lto_deasciify_aci_cmdhistory, "1 0 1 2 3").count, 0);

    LtoDriveKind older(0, 3);  // 16 us ticks
    auto adi = parse(lto_deasciify_adi_cmdhistory, "1 F4240 7 0 1 2 3 4 5 6 7 8 9 1FF  2 0 8");
    ASSERT_EQ(adi.count, 2);
    EXPECT_STREQ(adi.records[0].timestamp, "000:00:16.000000");
    EXPECT_EQ(adi.records[0].entryType, 7);
    EXPECT_EQ(hex(adi.records[0].payload, 11), "00 01 02 03 04 05 06 07 08 09 FF");
    EXPECT_EQ(adi.records[1].entryType, 8);
}

TEST(LtoInterfaceConfigs, ScsiAciAndAdi)
{
    LtoDriveKind kind(0, 3);
    Tokens initiators(16, "0");
    initiators[0] = "00010F08";  // DT, period 0Fh, offset 08h: it has talked
    initiators[1] = "00080000";
    initiators[2] = "00060000";
    auto scsi = parse(lto_deasciify_scsi_config, "1 0 B5 " + join(initiators) + " 2 0 7 1 2");
    ASSERT_EQ(scsi.count, 2);
    const LTOScsiConfigType &s = scsi.records[0];
    EXPECT_EQ(s.address, 5);
    EXPECT_EQ(s.speedLimit, 3);
    EXPECT_EQ(s.isLVD, 1);
    const LTOScsiInitiatorType &i0 = s.initiator[0], &i1 = s.initiator[1], &i2 = s.initiator[2];
    EXPECT_EQ((std::vector<int>{i0.isDT, i0.isWide, i0.isDisc, i0.period, i0.offset, i0.hasTalked}),
              (std::vector<int>{1, 0, 0, 0x0F, 0x08, 1}));
    EXPECT_EQ((std::vector<int>{i1.isDT, i1.hasTalked}), (std::vector<int>{0, 1}));
    EXPECT_EQ((std::vector<int>{i2.isWide, i2.isDisc, i2.hasTalked}), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(s.initiator[15].hasTalked, 0);
    EXPECT_EQ(scsi.records[1].initiator[1].offset, 2);  // cut list: the entry still counts

    auto aci = parse(lto_deasciify_aci_config, "1 0 2580 1 102 203 304  2 0 1 2 3 4");
    ASSERT_EQ(aci.count, 1);  // the second lacks its response period
    EXPECT_EQ(aci.records[0].baudrate, 0x2580u);
    EXPECT_EQ((std::vector<int>{aci.records[0].stopbits, aci.records[0].autoflags, aci.records[0].notifyflags,
                                aci.records[0].respPeriod}),
              (std::vector<int>{1, 2, 3, 4}));

    auto adi = parse(lto_deasciify_adi_config, "1 0 102 3 9600 11234 10400  1 2 3 4 105  2 0 1 1 1 1 1");
    ASSERT_EQ(adi.count, 1);
    const LTOAdiConfigType &d = adi.records[0];
    EXPECT_EQ((std::vector<u_int32>{d.adt_major, d.adt_minor, d.baudrate, d.ackOffset, d.maxPayload}),
              (std::vector<u_int32>{2, 3, 0x9600, 0x1234, 0x0400}));
    EXPECT_EQ((std::vector<int>{d.rmc_LU_b6, d.rmc_LU_b7, d.rmc_LU_b8, d.smc_LU_b6, d.adc_LU_b6}),
              (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(LtoFcConfig, PortsAndWwns)
{
    LtoDriveKind kind(0, 3);
    const std::string wwns = " 500110A000112233 500110A000112234 500110A000112235";
    auto fc = parse(lto_deasciify_fc_config, "1 0  5 E8 1 2 1  0 0 0 9 3" + wwns);
    ASSERT_EQ(fc.count, 1);
    const LTOFcConfigType &f = fc.records[0];
    EXPECT_STREQ(f.device_wwn, "50:01:10:A0:00:11:22:33");
    const LTOFcPortType &p0 = f.port[0], &p1 = f.port[1];
    EXPECT_EQ((std::vector<std::string>{p0.initialised, p0.loop_id, p0.alpa, p0.speed, p0.topology, p0.wwn}),
              (std::vector<std::string>{"Yes", "5", "0xE8", "2Gb/s  ", "Private loop ",
                                        "50:01:10:A0:00:11:22:34"}));
    EXPECT_EQ((std::vector<std::string>{p1.initialised, p1.loop_id, p1.alpa, p1.speed, p1.topology, p1.wwn}),
              (std::vector<std::string>{"No", "n/a", "n/a", "Unkwn (9)", "Direct attach",
                                        "50:01:10:A0:00:11:22:35"}));

    // Values too wide for their fields are cut to them; a WWN keeps 16 digits.
    auto wide = parse(lto_deasciify_fc_config,
                      "1 0  FFFFF 1234 1 75BCD15 7FFFFFFF  1 2 2 0 2  0123456789ABCDEF01 B C");
    ASSERT_EQ(wide.count, 1);
    const LTOFcPortType &w = wide.records[0].port[0];
    EXPECT_EQ((std::vector<std::string>{w.loop_id, w.alpa, w.speed, w.topology}),
              (std::vector<std::string>{"n/a", "n/a", "Unkwn (1234", "Unknown (2147483647"}));
    const LTOFcPortType &w1 = wide.records[0].port[1];
    EXPECT_EQ((std::vector<std::string>{w1.loop_id, w1.alpa, w1.initialised}),
              (std::vector<std::string>{"1", "0x02", "No"}));
    EXPECT_STREQ(wide.records[0].device_wwn, "01:23:45:67:89:AB:CD:EF");
    auto loop = parse(lto_deasciify_fc_config, "1 0  FFFFF 1234 1 1 2  0 0 0 0 0 A B C");
    EXPECT_EQ((std::vector<std::string>{loop.records[0].port[0].loop_id, loop.records[0].port[0].alpa}),
              (std::vector<std::string>{"10485", "0x123"}));

    // A port group that does not match: the WWNs are read from where it began,
    // the entry counts and the parse ends.
    auto cut = parse(lto_deasciify_fc_config, "1 0  5 E8 1 2 x  A B C  2 0 0 0 0 0 0 0 0 0 0 0 D E F");
    ASSERT_EQ(cut.count, 1);
    EXPECT_EQ((std::vector<std::string>{cut.records[0].device_wwn, cut.records[0].port[0].wwn,
                                        cut.records[0].port[1].wwn}),
              (std::vector<std::string>{"5", "E8", "1"}));
    // A text that ends before the WWNs leaves them empty.
    auto bare = parse(lto_deasciify_fc_config, "1 0  5 E8 1 2 1  0 0 0 9 3 AB");
    ASSERT_EQ(bare.count, 1);
    EXPECT_STREQ(bare.records[0].device_wwn, "AB");
    EXPECT_STREQ(bare.records[0].port[0].wwn, "");
    EXPECT_STREQ(bare.records[0].port[1].wwn, "");
}

TEST(LtoFcConfig, WwnText)
{
    const std::pair<const char *, const char *> rows[] = {
        {"500110A000112233", "50:01:10:A0:00:11:22:33"}, {"A1B", "A1:B"}, {"AB", "AB"}, {"A", "A"}, {"", ""},
    };
    for (const auto &r : rows) {
        char out[LTO_WWN_SIZE];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(lto_format_wwn(const_cast<char *>(r.first), out), 0);
        EXPECT_STREQ(out, r.second);
    }
}

// Every parser with a reply of two entries: maxdepth bounds what it stores.
TEST(LtoHistoryParsers, MaxdepthBoundsEveryParser)
{
    using Run = std::function<int32(int32)>;
    const Tokens i16(16, "0");
    const std::vector<std::pair<const char *, Run>> parsers = {
        {"old scsi",
         [](int32 d) {
             return parse(lto_deasciify_scsi_cmdhistory, "1 1 0 0 0 0 0 0 0 0 2 1 0 0 0 0 0 0 0 0", d).count;
         }},
        {"new scsi",
         [](int32 d) {
             return parse(lto_deasciify_new_scsi_cmdhistory,
                          kHeader + std::string("3.0 1 1 FF 0 0 0 0 0 0 0 0 0 0 2 1 10 0 0 0 0 0 0 0 0"), d)
                 .count;
         }},
        {"aci history",
         [](int32 d) {
             return parse(lto_deasciify_aci_cmdhistory, "1 1 0 0 0 0 0 0 0 0 0 0 2 1 0 0 0 0 0 0 0 0 0 0", d)
                 .count;
         }},
        {"adi history",
         [](int32 d) {
             return parse(lto_deasciify_adi_cmdhistory,
                          "1 1 0 0 0 0 0 0 0 0 0 0 0 0 2 1 0 0 0 0 0 0 0 0 0 0 0 0", d)
                 .count;
         }},
        {"scsi config",
         [&](int32 d) {
             return parse(lto_deasciify_scsi_config, "1 1 0 " + join(i16) + " 2 1 0 " + join(i16), d).count;
         }},
        {"aci config",
         [](int32 d) { return parse(lto_deasciify_aci_config, "1 1 0 0 0 0 0 2 1 0 0 0 0 0", d).count; }},
        {"adi config",
         [](int32 d) {
             return parse(lto_deasciify_adi_config, "1 1 0 0 0 0 0 0 0 0 0 0 2 1 0 0 0 0 0 0 0 0 0 0", d).count;
         }},
        {"fc config",
         [](int32 d) {
             return parse(lto_deasciify_fc_config,
                          "1 1 0 0 0 0 0 0 0 0 0 0 A B C 2 1 0 0 0 0 0 0 0 0 0 0 A B C", d)
                 .count;
         }},
    };
    for (const auto &p : parsers) {
        EXPECT_EQ(p.second(0), 0) << p.first;
        EXPECT_EQ(p.second(-1), 0) << p.first;
        EXPECT_EQ(p.second(1), 1) << p.first;
        EXPECT_EQ(p.second(2), 2) << p.first;
        EXPECT_EQ(p.second(3), 2) << p.first;
    }
}

TEST(LtoLogOrder, PowerOnCountThenStampThenTime)
{
    LtoDriveKind kind(0, 3);
    auto aci = parse(lto_deasciify_aci_config,
                     "2 1 0 0 0 0 0  1 2 0 0 0 0 0  1 1 0 0 0 0 0  0 FFFFFFFF 0 0 0 0 0");
    ASSERT_EQ(aci.count, 4);
    std::vector<std::pair<u_int32, std::string>> order;
    for (int32 i = 0; i < aci.count; ++i)
        order.emplace_back(aci.records[i].pwrOnCount, aci.records[i].timestamp);
    EXPECT_EQ(order, (std::vector<std::pair<u_int32, std::string>>{{0, "019:05:19.476720"},
                                                                   {1, "000:00:00.000016"},
                                                                   {1, "000:00:00.000032"},
                                                                   {2, "000:00:00.000016"}}));

    // The old SCSI history orders by its stamp's upper count before the time.
    auto old = parse(lto_deasciify_scsi_cmdhistory,
                     "1 0000000200000001 0 0 0 0 0 0 0 0  1 0000000100000009 0 0 0 0 0 0 0 0");
    ASSERT_EQ(old.count, 2);
    EXPECT_EQ(old.records[0].extrCount, 1u);
    EXPECT_EQ(old.records[1].extrCount, 2u);

    const char *texts[] = {"b", "c", "a"};
    std::qsort(texts, 3, sizeof texts[0], lto_compare_eventlog);
    EXPECT_STREQ(texts[0], "a");
    EXPECT_STREQ(texts[2], "c");
}

}  // namespace
