// What the emulated drives answer a SCSI client that knows nothing of this
// library: raw CDBs through SG_IO, checked byte for byte against what a tape
// drive sends, and the nodes as the sg driver shows them.
#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kvemu.h"

namespace {

using kvemu::Bytes;

const char kBus[] = R"(
[device]
host = 0
target = 3
model = kv_lto
[device]
host = 1
target = 4
model = kv_dds
serial = SN0123
inquiry.c2 = 01 C2 00 00
reply.c8 = 01 02 03 04 05 06
buffer.2.1.0 = 10 11 12 13 14 15
log.02.0002 = 0x01020304
log.02.0006 = 7
[device]
host = 1
target = 5
model = kv_dds
tur = 02 3A 00
[device]
host = 2
channel = 1
target = 1
lun = 2
type = 0
vendor = OTHER
)";

struct Io {
    int status = -1;
    Bytes data;
    Bytes sense;
    int resid = 0;
};

class DriveAnswers : public ::testing::Test {
protected:
    void SetUp() override
    {
        kvemu::load_bus_text(kBus);
        for (int i = 0; i < 4; ++i)
            fd[i] = open(("/dev/sg" + std::to_string(i)).c_str(), O_RDWR);
    }
    void TearDown() override
    {
        for (int f : fd)
            close(f);
        kvemu::unload_bus();
    }

    // One command: data in (`in` bytes of buffer) or out (`out`).
    Io send(int node, Bytes cdb, size_t in, Bytes out = {})
    {
        Io io;
        io.data.assign(in, 0xEE);
        unsigned char sense[32] = {};
        sg_io_hdr_t h{};
        h.interface_id = 'S';
        h.cmdp = cdb.data();
        h.cmd_len = static_cast<unsigned char>(cdb.size());
        h.dxfer_direction = out.empty() ? (in ? SG_DXFER_FROM_DEV : SG_DXFER_NONE) : SG_DXFER_TO_DEV;
        h.dxferp = out.empty() ? io.data.data() : out.data();
        h.dxfer_len = static_cast<unsigned>(out.empty() ? in : out.size());
        h.sbp = sense;
        h.mx_sb_len = sizeof sense;
        EXPECT_EQ(ioctl(fd[node], SG_IO, &h), 0);
        io.status = h.status;
        io.resid = h.resid;
        io.sense.assign(sense, sense + h.sb_len_wr);
        if (out.empty())
            io.data.resize(in - static_cast<size_t>(h.resid));
        return io;
    }

    // The sense key and codes of a CHECK CONDITION, as "key/asc/ascq".
    static std::string failure(const Io &io)
    {
        if (io.status != 2 || io.sense.size() < 14)
            return "status " + std::to_string(io.status);
        char b[16];
        std::snprintf(b, sizeof b, "%X/%02X/%02X", io.sense[2] & 0xF, io.sense[12], io.sense[13]);
        return b;
    }

    int fd[4] = {-1, -1, -1, -1};
};

TEST_F(DriveAnswers, RepliesHoldNoMoreThanTheAllocationLength)
{
    struct Case {
        const char *what;
        int node;
        Bytes cdb;
        size_t buffer;
        Bytes head;   // first bytes expected
        size_t size;  // bytes expected
    };
    const Case cases[] = {
        {"inquiry 8", 0, {0x12, 0, 0, 0, 8, 0}, 96, {0x01, 0x80, 0x03, 0x02, 0x5B}, 8},
        {"inquiry, host buffer smaller", 0, {0x12, 0, 0, 0, 0xFF, 0}, 36, {0x01}, 36},
        {"request sense 0", 1, {0x03, 0, 0, 0, 0, 0}, 18, {}, 0},
        {"read buffer region 2", 1, {0x3C, 0x01, 0x02, 0, 0, 0, 0, 0, 2, 0}, 6, {0x10, 0x11}, 2},
        // No allocation length in the CDB: the host's buffer alone bounds it.
        {"configured reply", 1, {0xC8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 6, {1, 2, 3, 4, 5, 6}, 6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Io io = send(c.node, c.cdb, c.buffer);
        EXPECT_EQ(io.status, 0);
        ASSERT_EQ(io.data.size(), c.size);
        EXPECT_EQ(Bytes(io.data.begin(), io.data.begin() + static_cast<long>(c.head.size())), c.head);
        EXPECT_EQ(io.resid, static_cast<int>(c.buffer - c.size));
    }
}

TEST_F(DriveAnswers, InquiryPages)
{
    EXPECT_EQ(failure(send(1, {0x12, 0, 0x80, 0, 0xFF, 0}, 255)), "5/24/00");  // page without EVPD
    EXPECT_EQ(failure(send(1, {0x12, 0x02, 0, 0, 0xFF, 0}, 255)), "5/24/00");  // CmdDt
    EXPECT_EQ(failure(send(0, {0x12, 1, 0xC2, 0, 0xFF, 0}, 255)), "5/24/00");
    EXPECT_EQ(send(1, {0x12, 1, 0x00, 0, 0xFF, 0}, 255).data,
              (Bytes{1, 0, 0, 6, 0x00, 0x80, 0x83, 0xC0, 0xC1, 0xC2}));
    EXPECT_EQ(send(1, {0x12, 1, 0x80, 0, 0xFF, 0}, 255).data,
              (Bytes{1, 0x80, 0, 6, 'S', 'N', '0', '1', '2', '3'}));
    // Without a serial setting the address makes one.
    Bytes serial = send(3, {0x12, 1, 0x80, 0, 0xFF, 0}, 255).data;
    EXPECT_EQ(std::string(serial.begin() + 4, serial.end()), "0201010002");

    Io id = send(1, {0x12, 1, 0x83, 0, 0xFF, 0}, 255);
    const std::string designator = "KV      DDS TAPE        SN0123";
    Bytes expect = {1, 0x83, 0, 34, 0x02, 0x01, 0, 30};
    expect.insert(expect.end(), designator.begin(), designator.end());
    EXPECT_EQ(id.data, expect);
}

TEST_F(DriveAnswers, RequestSenseReportsThePendingThenTheStandingCondition)
{
    const Bytes fixed_not_ready = {0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0, 0, 0, 0, 0};
    EXPECT_EQ(send(2, {0x03, 0, 0, 0, 0xFC, 0}, 252).data, fixed_not_ready);
    EXPECT_EQ(send(2, {0x03, 0x01, 0, 0, 0xFC, 0}, 252).data, (Bytes{0x72, 0x02, 0x3A, 0x00, 0, 0, 0, 0}));

    EXPECT_EQ(failure(send(2, {0x4D, 0, 0x40 | 0x17, 0, 0, 0, 0, 0, 0xFF, 0}, 255)), "5/24/00");
    Bytes pending = send(2, {0x03, 0, 0, 0, 0xFC, 0}, 252).data;
    EXPECT_EQ(pending[2], 0x05);
    EXPECT_EQ(pending[12], 0x24);
    EXPECT_EQ(send(2, {0x03, 0, 0, 0, 0xFC, 0}, 252).data, fixed_not_ready);
    EXPECT_EQ(send(1, {0x03, 0, 0, 0, 0xFC, 0}, 252).data[2], 0x00);  // NO SENSE
}

TEST_F(DriveAnswers, ReportLunsListsTheNodesLun)
{
    const Bytes lun2 = {0, 0, 0, 8, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(send(3, {0xA0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}, 16).data, lun2);
    EXPECT_EQ(send(0, {0xA0, 0, 2, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}, 16).data[9], 0);
    EXPECT_EQ(send(0, {0xA0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}, 16).data, Bytes(8, 0));  // no well-known LUN
    EXPECT_EQ(failure(send(0, {0xA0, 0, 0x10, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}, 16)), "5/24/00");
}

TEST_F(DriveAnswers, ModeSenseByPageControlAndSubpage)
{
    const Bytes head6 = {0x1B, 0, 0x10, 8, 0x26, 0, 0, 0, 0, 0, 0, 0};
    auto page0f = [&](uint8_t pc) {
        Io io = send(1, {0x1A, 0, static_cast<uint8_t>(pc << 6 | 0x0F), 0, 0xFF, 0}, 255);
        return io.status ? Bytes{} : Bytes(io.data.begin() + 12, io.data.end());
    };
    EXPECT_EQ(send(1, {0x1A, 0, 0x0F, 0, 12, 0}, 255).data, head6);
    EXPECT_EQ(page0f(0), (Bytes{0x0F, 0x0E, 0xC0, 0, 0, 0, 0, 0x20, 0, 0, 0, 0x20, 0, 0, 0, 0}));
    EXPECT_EQ(page0f(1), (Bytes{0x0F, 0x0E, 0x80, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(page0f(2), page0f(0));
    EXPECT_EQ(failure(send(1, {0x1A, 0, 0xC0 | 0x0F, 0, 0xFF, 0}, 255)), "5/39/00");  // nothing saved
    EXPECT_EQ(failure(send(1, {0x1A, 0, 0x0F, 0x01, 0xFF, 0}, 255)), "5/24/00");      // no such subpage
    EXPECT_EQ(failure(send(1, {0x1A, 0, 0x01, 0, 0xFF, 0}, 255)), "5/24/00");

    // MODE SENSE(10), block descriptor off: the 8-byte header, then the page.
    Io ten = send(0, {0x5A, 0x08, 0x10, 0x01, 0, 0, 0, 0, 0xFF, 0}, 255);
    EXPECT_EQ(Bytes(ten.data.begin(), ten.data.begin() + 12),
              (Bytes{0, 38, 0, 0x10, 0, 0, 0, 0, 0x50, 0x01, 0, 0x1C}));
    EXPECT_EQ(ten.data.size(), 40u);

    // Page 3Fh: pages in code order; with subpage FFh the subpages as well.
    auto codes = [&](uint8_t subpage) {
        Bytes d = send(0, {0x5A, 0x08, 0x3F, subpage, 0, 0, 0, 0x10, 0, 0}, 4096).data;
        std::vector<int> out;
        for (size_t at = 8; at + 4 <= d.size();
             at += (d[at] & 0x40) ? 4 + (d[at + 2] << 8 | d[at + 3]) : 2 + d[at + 1])
            out.push_back((d[at] & 0x3F) << 8 | ((d[at] & 0x40) ? d[at + 1] : 0));
        return out;
    };
    EXPECT_EQ(codes(0), (std::vector<int>{0x0100, 0x0A00, 0x0F00, 0x1000, 0x1100, 0x1C00, 0x3C00}));
    EXPECT_EQ(codes(0xFF),
              (std::vector<int>{0x0100, 0x0A00, 0x0AF0, 0x0F00, 0x1000, 0x1001, 0x1100, 0x1C00, 0x3C00}));
}

TEST_F(DriveAnswers, ModeSelectChangesOnlyWhatTheDriveLetsChange)
{
    const Bytes head = {0, 0, 0x10, 0};
    Bytes page = {0x0F, 0x0E, 0x40, 0, 0, 0, 0, 0x20, 0, 0, 0, 0x20, 0, 0, 0, 0};  // DCE off
    Bytes list = head;
    list.insert(list.end(), page.begin(), page.end());
    EXPECT_EQ(send(1, {0x15, 0x10, 0, 0, static_cast<uint8_t>(list.size()), 0}, 0, list).status, 0);
    EXPECT_EQ(send(1, {0x1A, 0x08, 0x0F, 0, 0xFF, 0}, 255).data[6], 0x40);

    list[6] = 0x00;  // DCC is the drive's own
    EXPECT_EQ(failure(send(1, {0x15, 0x10, 0, 0, static_cast<uint8_t>(list.size()), 0}, 0, list)), "5/26/00");
    EXPECT_EQ(send(1, {0x1A, 0x08, 0x0F, 0, 0xFF, 0}, 255).data[6], 0x40);
    list[6] = 0x40;
    EXPECT_EQ(failure(send(1, {0x15, 0x11, 0, 0, static_cast<uint8_t>(list.size()), 0}, 0, list)),
              "5/24/00");  // SP

    // MODE SELECT(10) of a subpage: the early-warning size of page 10h/01h.
    Bytes ten = {0, 0, 0, 0x10, 0, 0, 0, 0, 0x50, 0x01, 0x00, 0x1C, 0, 0, 0x12, 0x34};
    ten.resize(8 + 32, 0);
    EXPECT_EQ(send(0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(ten.size()), 0}, 0, ten).status, 0);
    Bytes back = send(0, {0x5A, 0x08, 0x10, 0x01, 0, 0, 0, 0, 0xFF, 0}, 255).data;
    EXPECT_EQ(Bytes(back.begin() + 14, back.begin() + 16), (Bytes{0x12, 0x34}));
}

TEST_F(DriveAnswers, LogPagesCarryRealParameters)
{
    // Page 02h of the DDS drive: codes 0, 2, 5 and 6, each with its header.
    const Bytes page02 = {0x02, 0, 0, 0x1C, 0,    0, 0x40, 2, 0, 0, 0, 2, 0x40, 4, 1, 2,
                          3,    4, 0, 5,    0x40, 4, 0,    0, 0, 0, 0, 6, 0x40, 2, 0, 7};
    EXPECT_EQ(send(1, {0x4D, 0, 0x42, 0, 0, 0, 0, 0, 0xFF, 0}, 255).data, page02);
    // The parameter pointer starts the list at the first code at or past it.
    EXPECT_EQ(send(1, {0x4D, 0, 0x42, 0, 0, 0, 5, 0, 0xFF, 0}, 255).data,
              (Bytes{0x02, 0, 0, 0x0E, 0, 5, 0x40, 4, 0, 0, 0, 0, 0, 6, 0x40, 2, 0, 7}));
    EXPECT_EQ(failure(send(1, {0x4D, 0, 0x42, 0, 0, 0, 7, 0, 0xFF, 0}, 255)), "5/24/00");
    // Default cumulative values are all zero; the drives keep no thresholds.
    Bytes defaults = page02;
    for (size_t at : {8, 9, 14, 15, 16, 17, 30, 31})
        defaults[at] = 0;
    EXPECT_EQ(send(1, {0x4D, 0, 0xC2, 0, 0, 0, 0, 0, 0xFF, 0}, 255).data, defaults);
    EXPECT_EQ(failure(send(1, {0x4D, 0, 0x02, 0, 0, 0, 0, 0, 0xFF, 0}, 255)), "5/24/00");

    EXPECT_EQ(send(0, {0x4D, 0, 0x40, 0, 0, 0, 0, 0, 0xFF, 0}, 255).data,
              (Bytes{0, 0, 0, 8, 0x00, 0x02, 0x03, 0x0D, 0x2E, 0x30, 0x31, 0x32}));
    EXPECT_EQ(send(0, {0x4D, 0, 0x40, 0xFF, 0, 0, 0, 0, 0xFF, 0}, 255).data,
              (Bytes{0x40, 0xFF, 0, 18,   0, 0,    0, 0xFF, 0x02, 0,    0x03,
                     0,    0x0D, 0, 0x2E, 0, 0x30, 0, 0x31, 0,    0x32, 0}));
    EXPECT_EQ(failure(send(0, {0x4D, 0, 0x42, 0x01, 0, 0, 0, 0, 0xFF, 0}, 255)), "5/24/00");
}

TEST_F(DriveAnswers, Diagnostics)
{
    EXPECT_EQ(failure(send(0, {0x1D, 0x04 | 0x20, 0, 0, 0, 0}, 0)), "5/24/00");  // self-test with a code
    EXPECT_EQ(failure(send(0, {0x1C, 0, 0, 0, 0xFF, 0}, 255)), "5/2C/00");       // nothing sent yet
    // Page 00h and the LTO drive's vendor pages.
    EXPECT_EQ(send(0, {0x1C, 0x01, 0x00, 0, 0xFF, 0}, 255).data,
              (Bytes{0, 0, 0, 8, 0, 0x93, 0x95, 0x96, 0xA1, 0xA2, 0xB0, 0xB1}));
    EXPECT_EQ(failure(send(0, {0x1C, 0x01, 0x80, 0, 0xFF, 0}, 255)), "5/24/00");
}

TEST_F(DriveAnswers, NodesLookLikeSgDevices)
{
    struct stat st {};
    ASSERT_EQ(fstat(fd[1], &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(major(st.st_rdev), 21u);
    EXPECT_EQ(minor(st.st_rdev), 1u);
    ASSERT_EQ(stat("/dev/sg3", &st), 0);
    EXPECT_EQ(minor(st.st_rdev), 3u);

    int idlun[2] = {};
    ASSERT_EQ(ioctl(fd[3], SCSI_IOCTL_GET_IDLUN, idlun), 0);
    EXPECT_EQ(idlun[0], 0x02010201);  // host 2, channel 1, lun 2, target 1
    sg_scsi_id id{};
    ASSERT_EQ(ioctl(fd[3], SG_GET_SCSI_ID, &id), 0);
    EXPECT_EQ((std::vector<int>{id.host_no, id.channel, id.scsi_id, id.lun, id.scsi_type}),
              (std::vector<int>{2, 1, 1, 2, 0}));
    int bus_number = -1;
    ASSERT_EQ(ioctl(fd[3], SCSI_IOCTL_GET_BUS_NUMBER, &bus_number), 0);
    EXPECT_EQ(bus_number, 2);

    // The device list reads through a plain descriptor too; the KV models list as tapes.
    int list = open("/proc/scsi/sg/devices", O_RDONLY);
    ASSERT_GE(list, 0);
    char text[512] = {};
    ssize_t n = read(list, text, sizeof text - 1);
    close(list);
    EXPECT_EQ(std::string(text, static_cast<size_t>(n > 0 ? n : 0)),
              "0\t0\t3\t0\t1\t1\t2\t0\t1\n1\t0\t4\t0\t1\t1\t2\t0\t1\n1\t0\t5\t0\t1\t1\t2\t0\t1\n"
              "2\t1\t1\t2\t0\t1\t2\t0\t1\n");
    EXPECT_EQ(open("/proc/scsi/sg/devices", O_WRONLY), -1);
}

}  // namespace
