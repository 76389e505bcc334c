// Every DDS reader, the two identification probes and the transport itself,
// over drive answers taken from the input (see fuzz_drive.h).
// Input: operation (one byte), the DDS hardware code the readers go by (32
// bits), four parameter bytes, then the script of the drive's answers.
#include <algorithm>
#include <functional>
#include <memory>

#include "ddslib.h"
#include "fuzz_drive.h"
#include "ltolib.h"

using fuzz::terminated;

namespace {

// Output records are filled with this before a call, so a reader that writes
// nothing on failure can be told from one that does.
constexpr uint8_t kMarker = 0x5A;

template <class T>
std::unique_ptr<T[]> marked(size_t n)
{
    std::unique_ptr<T[]> p(new T[n]);
    std::memset(static_cast<void *>(p.get()), kMarker, sizeof(T) * n);
    return p;
}

template <class T>
bool untouched(const T *p, size_t n)
{
    const auto *b = reinterpret_cast<const uint8_t *>(p);
    for (size_t i = 0; i < sizeof(T) * n; ++i)
        if (b[i] != kMarker)
            return false;
    return true;
}

// Each output of a reader at exactly its documented size; a failed read
// writes none of them.
template <class T>
void check_record(int32 rc, const std::unique_ptr<T[]> &out, size_t n)
{
    FUZZ_CHECK(rc <= 0);
    if (rc < 0)
        FUZZ_CHECK(untouched(out.get(), n));
}

void raw_command(DRIVE *drv, const uint8_t *param, const std::vector<uint8_t> &)
{
    static const direction kDirections[] = {HOST_READ, HOST_WRITE, NO_TRANSFER, UNKNOWN_DIRECTION};
    const int32 asked = (param[1] << 8 | param[2]) & 0x1FFF;
    std::unique_ptr<unsigned char[]> data(new unsigned char[asked ? asked : 1]());
    scsi_io_type io{};
    io.drv = drv;
    io.cdb[0] = 0x12;
    io.cdb[4] = param[3];
    io.cdb_length = 6;
    io.data = data.get();
    io.data_length = asked;
    io.data_direction = kDirections[param[0] % 4];
    int32 rc = scsi_exec(&io);
    // What the transport reports moved always lies within what was asked.
    FUZZ_CHECK(rc == -1 || (rc >= 0 && rc <= asked));
    FUZZ_CHECK(io.actual_data_length >= 0 && io.actual_data_length <= asked);
    FUZZ_CHECK(drv->actual_data_length == io.actual_data_length);
    FUZZ_CHECK(rc == -1 || rc == io.actual_data_length);
    const u_int8 ds = drv->driver_status;
    FUZZ_CHECK(ds == 0 || ds == 1 || ds == 9 || ds == 0x42 || ds == 0xFF);
    FUZZ_CHECK((rc == -1) == (ds != 0 || drv->scsi_status != 0));
}

void mode_setter(DRIVE *drv, const uint8_t *param, const std::vector<uint8_t> &)
{
    const int32 a = static_cast<int8_t>(param[1]);
    const int32 b = param[2] << 8 | param[3];
    const std::function<int32()> calls[] = {
        [&] { return dds_set_rsm(drv, a & 1); },
        [&] { return dds_set_rew(drv, a & 1); },
        [&] { return dds_set_compression(drv, a & 1); },
        [&] { return dds_set_vuma_mode(drv, a & 1); },
        [&] { return dds_change_partition(drv, a); },
        [&] { return dds_config_ecc(drv, a & 1, (a >> 1) & 1, b - 0x100); },
        [&] { return dds_modify_partitions(drv, a, b - 0x100); },
        [&] { return dds_set_fixed_record_size(drv, b - 0x100); },
        [&] { return dds_set_buffering(drv, a); },
        [&] {
            auto wp = marked<wpstate>(1);
            int32 rc = dds_get_WP(drv, wp.get());
            FUZZ_CHECK(rc < 0 ? untouched(wp.get(), 1) : (wp[0] == write_enabled || wp[0] == write_protected));
            return rc;
        },
        [&] {
            auto id = marked<char>(DDS_PRODUCT_ID_SIZE);
            int32 rc = dds_get_product_id(drv, id.get());
            FUZZ_CHECK(rc < 0 ? untouched(id.get(), DDS_PRODUCT_ID_SIZE)
                              : terminated(id.get(), DDS_PRODUCT_ID_SIZE));
            return rc;
        },
    };
    FUZZ_CHECK(calls[param[0] % 11]() <= 0);
}

void log_reader(DRIVE *drv, const uint8_t *param, const std::vector<uint8_t> &script)
{
    int32 rc = 0;
    switch (param[0] % 9) {
    case 0: {
        auto v = marked<int32>(4);
        rc = dds_get_errcounters(drv, param[1], &v[0], &v[1], &v[2], &v[3]);
        check_record(rc, v, 4);
        break;
    }
    case 1: {
        auto c = marked<C1_count_type>(1);
        check_record(dds_get_C1_counters(drv, param[1], c.get()), c, 1);
        break;
    }
    case 2: {
        auto t = marked<Tapelogtype>(3);
        auto loads = marked<int32>(1);
        rc = dds_read_tape_log(drv, &t[0], &t[1], &t[2], loads.get());
        check_record(rc, t, 3);
        check_record(rc, loads, 1);
        break;
    }
    case 3: {
        auto p = marked<DCtfrtype>(1);
        check_record(dds_read_DC_performance(drv, p.get()), p, 1);
        break;
    }
    case 4: {
        auto v = marked<int32>(4);
        check_record(dds_read_tape_capacity(drv, &v[0], &v[1], &v[2], &v[3]), v, 4);
        break;
    }
    case 5: {
        auto flags = marked<PredictStructure *>(DDS_TAPEALERT_FLAGS);
        rc = dds_get_predict_log(drv, flags.get());
        FUZZ_CHECK(rc <= DDS_TAPEALERT_FLAGS);
        for (int32 i = 0; i < rc; ++i)
            FUZZ_CHECK(flags[i] >= _predictflags && flags[i] < _predictflags + DDS_TAPEALERT_FLAGS);
        if (rc < 0)
            FUZZ_CHECK(untouched(flags.get(), DDS_TAPEALERT_FLAGS));
        break;
    }
    case 6: {
        auto a = marked<int32>(DDS_CHELT_COEFFS);
        auto b = marked<int32>(DDS_CHELT_COEFFS);
        auto afn = marked<int32>(1);
        rc = dds_get_chelt_coeffs(drv, a.get(), b.get(), afn.get());
        check_record(rc, a, DDS_CHELT_COEFFS);
        check_record(rc, b, DDS_CHELT_COEFFS);
        check_record(rc, afn, 1);
        break;
    }
    case 7: {
        auto format = marked<unsigned char>(1);
        rc = dds_get_tape_format(drv, format.get());
        FUZZ_CHECK(rc <= 0);
        FUZZ_CHECK(format[0] <= 6 || format[0] == 0x40);
        FUZZ_CHECK(rc == 0 || format[0] == 0);
        FUZZ_CHECK(dds_tape_format == format[0]);
        break;
    }
    default: {
        // The counter page decoder on its own, over the script's first 76 bytes.
        auto page = marked<u_int8>(76);
        std::copy(script.begin(), script.begin() + std::min<size_t>(script.size(), 76), page.get());
        auto c = marked<C1_count_type>(1);
        dds_pull_out_C1_counters(c.get(), page.get());
        break;
    }
    }
}

void eeprom_reader(DRIVE *drv, const uint8_t *param, const std::vector<uint8_t> &)
{
    switch (param[0] % 5) {
    case 0: {
        auto csum = marked<int32>(1);
        auto valid = marked<boolean>(1);
        auto flashes = marked<int32>(1);
        int32 rc = dds_read_eprom_info(drv, csum.get(), valid.get(), flashes.get());
        FUZZ_CHECK(rc <= 0);
        break;
    }
    case 1: {
        auto codes = marked<mfg_data_type>(1);
        if (dds_read_mfg_codes(drv, codes.get()) == 0) {
            const mfg_data_type &m = codes[0];
            for (const char *f : {m.serialno, m.datecode, m.mechcode, m.boardcode})
                FUZZ_CHECK(terminated(f, 16));
            // One family keeps no plant code and leaves the field alone.
            FUZZ_CHECK(terminated(m.mfgplant, 16) || untouched(m.mfgplant, 16));
        }
        break;
    }
    case 2: {
        auto log = marked<faultlogtype>(DDS_FAULTLOG_MAX_ENTRIES);
        auto entries = marked<int32>(1);
        auto overflow = marked<boolean>(1);
        if (dds_read_eprom_log(drv, log.get(), entries.get(), overflow.get()) == 0) {
            FUZZ_CHECK(entries[0] >= 0 && entries[0] <= DDS_FAULTLOG_MAX_ENTRIES);
            FUZZ_CHECK(overflow[0] <= 1);
        }
        break;
    }
    case 3: {
        auto ctrlr = marked<char>(DDS_FW_REV_SIZE);
        auto servo = marked<char>(DDS_FW_REV_SIZE);
        auto autoch = marked<char>(DDS_FW_REV_SIZE);
        int32 rc = dds_get_fw_revs(drv, ctrlr.get(), servo.get(), param[1] & 1 ? autoch.get() : nullptr);
        FUZZ_CHECK(rc <= 0);
        for (const auto *text : {&ctrlr, &servo, &autoch}) {
            if (rc < 0 || (text == &autoch && !(param[1] & 1)))
                FUZZ_CHECK(untouched(text->get(), DDS_FW_REV_SIZE));
            else
                FUZZ_CHECK(terminated(text->get(), DDS_FW_REV_SIZE));
        }
        break;
    }
    default: {
        const int32 offset = param[1] << 8 | param[2];
        const int32 nbytes = param[3];
        auto data = marked<unsigned char>(nbytes ? nbytes : 1);
        int32 rc = dds_read_serial_eeprom(drv, data.get(), offset, nbytes);
        FUZZ_CHECK(rc == -1 || (rc >= 0 && rc <= nbytes));
        break;
    }
    }
}

void diagnostic(DRIVE *drv, const uint8_t *param, const std::vector<uint8_t> &)
{
    switch (param[0] % 4) {
    case 0: {
        auto sw = marked<u_int8>(1);
        FUZZ_CHECK(dds_read_switches(drv, param[1] % 20, sw.get()) <= 0);
        break;
    }
    case 1: {
        servo_cmd_type cmd{param[1],
                           static_cast<u_int8>(param[2] % 5),
                           {param[3], 1, 2, 3},
                           static_cast<boolean>(param[1] & 1)};
        FUZZ_CHECK(dds_servo_cmd(drv, param[2] & 0x80, &cmd) <= 0);
        break;
    }
    case 2: {
        const int32 length = param[1];
        auto status = marked<unsigned char>(length ? length : 1);
        int32 rc = dds_servo_status(drv, param[2] & 1, status.get(), length);
        FUZZ_CHECK(rc == -1 || (rc >= 0 && rc <= length));
        break;
    }
    default:
        FUZZ_CHECK(dds_send_dai_command(drv, param[1], param[2], param[3], 0, 1) <= 0);
        break;
    }
}

void probe(DRIVE *drv, const uint8_t *param, const std::vector<uint8_t> &)
{
    if (param[0] & 1) {
        const boolean lto = lto_drive_is_lto(drv);
        FUZZ_CHECK(lto == 0 || lto == 1);
        return;
    }
    int32 hw = 0, fw = 0;
    auto name = marked<char>(16);
    if (dds_read_config_codes(drv, &hw, &fw, name.get()) == 0) {
        FUZZ_CHECK(terminated(name.get(), 16));
        FUZZ_CHECK(dds_drive_hwconfig == hw);
    } else {
        FUZZ_CHECK(dds_drive_hwconfig == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::ScriptedDrive drive;
    fuzz::Input in(data, size);
    const uint8_t op = in.byte();
    const uint32_t hw = static_cast<uint32_t>(in.u16()) << 16 | in.u16();
    const std::vector<uint8_t> param = [&] {
        std::vector<uint8_t> p = in.bytes(4);
        p.resize(4);
        return p;
    }();
    const std::vector<uint8_t> script = in.rest();

    dds_drive_hwconfig = static_cast<int32>(hw);
    dds_set_tape_format(0);
    DRIVE *drv = drive.open(script);
    using Op = void (*)(DRIVE *, const uint8_t *, const std::vector<uint8_t> &);
    static const Op kOps[] = {raw_command, probe, mode_setter, log_reader, eeprom_reader, diagnostic};
    kOps[op % 6](drv, param.data(), script);
    drive.close();
    return 0;
}
