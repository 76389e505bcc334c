// What the emulated drives answer a SCSI client that knows nothing of this
// library, where sg3_conformance_test cannot look: exact bytes and residues
// through SG_IO, answers that depend on an earlier command, and the nodes as
// the sg driver shows them.
#include <fcntl.h>
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

// Nodes: 0 LTO, 1 DDS with settings, 2 DDS without a cartridge, 3 a disk.
TEST_F(DriveAnswers, RepliesAndRefusals)
{
    struct Case {
        const char *what;
        int node;
        Bytes cdb;
        size_t buffer;
        Bytes head;                     // first bytes expected
        size_t size;                    // bytes expected
        const char *refused = nullptr;  // or the sense key and codes expected
    };
    // clang-format off
    const Case cases[] = {
        {"inquiry, host buffer smaller than asked", 0, {0x12, 0, 0, 0, 0xFF, 0}, 36, {0x01, 0x80}, 36},
        // No allocation length in the CDB: the host's buffer alone bounds it.
        {"configured reply", 1, {0xC8, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 6, {1, 2, 3, 4, 5, 6}, 6},
        {"vpd 00h lists configured pages", 1, {0x12, 1, 0, 0, 0xFF, 0}, 255,
         {1, 0, 0, 6, 0x00, 0x80, 0x83, 0xC0, 0xC1, 0xC2}, 10},
        {"report luns, well-known only", 0, {0xA0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}, 16, Bytes(8, 0), 8},
        // The parameter pointer starts the list at the first code at or past it.
        {"log sense from parameter 5", 1, {0x4D, 0, 0x42, 0, 0, 0, 5, 0, 0xFF, 0}, 255,
         {0x02, 0, 0, 0x0E, 0, 5, 0x40, 4, 0, 0, 0, 0, 0, 6, 0x40, 2, 0, 7}, 18},
        {"log sense defaults are zero", 1, {0x4D, 0, 0xC2, 0, 0, 0, 5, 0, 0xFF, 0}, 255,
         {0x02, 0, 0, 0x0E, 0, 5, 0x40, 4, 0, 0, 0, 0, 0, 6, 0x40, 2, 0, 0}, 18},
        {"diagnostic pages of the LTO drive", 0, {0x1C, 0x01, 0x00, 0, 0xFF, 0}, 255,
         {0, 0, 0, 8, 0, 0x93, 0x95, 0x96, 0xA1, 0xA2, 0xB0, 0xB1}, 12},
        {"inquiry CmdDt", 1, {0x12, 0x02, 0, 0, 0xFF, 0}, 255, {}, 0, "5/24/00"},
        {"report luns, select 10h", 0, {0xA0, 0, 0x10, 0, 0, 0, 0, 0, 0x10, 0, 0, 0}, 16, {}, 0, "5/24/00"},
        {"mode page the drive lacks", 1, {0x1A, 0, 0x01, 0, 0xFF, 0}, 255, {}, 0, "5/24/00"},
        {"log sense past the last code", 1, {0x4D, 0, 0x42, 0, 0, 0, 7, 0, 0xFF, 0}, 255, {}, 0, "5/24/00"},
        {"log sense thresholds", 1, {0x4D, 0, 0x02, 0, 0, 0, 0, 0, 0xFF, 0}, 255, {}, 0, "5/24/00"},
        {"log subpage", 0, {0x4D, 0, 0x42, 0x01, 0, 0, 0, 0, 0xFF, 0}, 255, {}, 0, "5/24/00"},
        {"self-test with a code", 0, {0x1D, 0x04 | 0x20, 0, 0, 0, 0}, 0, {}, 0, "5/24/00"},
        {"diagnostic results before any were sent", 0, {0x1C, 0, 0, 0, 0xFF, 0}, 255, {}, 0, "5/2C/00"},
        {"diagnostic page the drive lacks", 0, {0x1C, 0x01, 0x80, 0, 0xFF, 0}, 255, {}, 0, "5/24/00"},
    };
    // clang-format on
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Io io = send(c.node, c.cdb, c.buffer);
        if (c.refused) {
            EXPECT_EQ(failure(io), c.refused);
            continue;
        }
        EXPECT_EQ(io.status, 0);
        ASSERT_EQ(io.data.size(), c.size);
        EXPECT_EQ(Bytes(io.data.begin(), io.data.begin() + static_cast<long>(c.head.size())), c.head);
        EXPECT_EQ(io.resid, static_cast<int>(c.buffer - c.size));
    }
}

TEST_F(DriveAnswers, RequestSenseReportsThePendingThenTheStandingCondition)
{
    EXPECT_EQ(failure(send(2, {0x4D, 0, 0x40 | 0x17, 0, 0, 0, 0, 0, 0xFF, 0}, 255)), "5/24/00");
    EXPECT_EQ(send(2, {0x03, 0, 0, 0, 0xFC, 0}, 252).data,
              (Bytes{0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0, 0, 0, 0, 0}));
    EXPECT_EQ(send(2, {0x03, 0, 0, 0, 0xFC, 0}, 252).data,
              (Bytes{0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0, 0, 0, 0, 0}));
}

TEST_F(DriveAnswers, ModeSelectChangesWhatMayChangeAndModeSenseShowsIt)
{
    Bytes list = {0, 0, 0x10, 0, 0x0F, 0x0E, 0x40, 0, 0, 0, 0, 0x20, 0, 0, 0, 0x20, 0, 0, 0, 0};  // DCE off
    EXPECT_EQ(send(1, {0x15, 0x10, 0, 0, static_cast<uint8_t>(list.size()), 0}, 0, list).status, 0);
    EXPECT_EQ(send(1, {0x1A, 0x08, 0x0F, 0, 0xFF, 0}, 255).data[6], 0x40);
    EXPECT_EQ(failure(send(1, {0x15, 0x11, 0, 0, static_cast<uint8_t>(list.size()), 0}, 0, list)),
              "5/24/00");  // SP

    // MODE SELECT(10) of a subpage: the early-warning size of page 10h/01h.
    Bytes ten = {0, 0, 0, 0x10, 0, 0, 0, 0, 0x50, 0x01, 0x00, 0x1C, 0, 0, 0x12, 0x34};
    ten.resize(8 + 32, 0);
    EXPECT_EQ(send(0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(ten.size()), 0}, 0, ten).status, 0);
    Bytes back = send(0, {0x5A, 0x08, 0x10, 0x01, 0, 0, 0, 0, 0xFF, 0}, 255).data;
    EXPECT_EQ(Bytes(back.begin() + 14, back.begin() + 16), (Bytes{0x12, 0x34}));
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
