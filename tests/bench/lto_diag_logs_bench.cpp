// The LTO text-log parsers over replies of 4 KiB and 64 KiB: equal rates at
// both sizes show that a parse is linear in the reply. The fault log is also
// parsed, side by side, by a sscanf per number, which rescans the rest of the
// text on every call. Then the write error-rate report, one per iteration.
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "ltolib.h"
#include "ltolib/eeprom_reports/reports.h"
#include "ratio_report.h"

namespace {

constexpr size_t kMaxReply = 65535;

// A reply of about `size` bytes: the header, then `entry(i)` lines until the
// next would not fit.
template <typename Entry>
std::vector<u_int8> reply(u_int8 page, size_t size, const std::string &head, Entry entry)
{
    std::string text = head;
    for (size_t i = 0;; ++i) {
        const std::string e = entry(i);
        if (4 + text.size() + e.size() > size)
            break;
        text += e;
    }
    std::vector<u_int8> r(4 + text.size());
    r[0] = page;
    std::copy(text.begin(), text.end(), r.begin() + 4);
    return r;
}

std::string fmt(const char *format, size_t i)
{
    char line[200];
    std::snprintf(line, sizeof line, format, i, i, i, i, i);
    return line;
}

std::vector<u_int8> fault_reply(size_t size)
{
    return reply(0xA5, size, "", [](size_t i) { return fmt("%zX %zX12345 %zX 10 %zX 1F4\n", i); });
}

std::vector<u_int8> history_reply(size_t size)
{
    return reply(0xAF, size, "FFFF Primary Port CDB Log Version 3.0\n", [](size_t i) {
        switch (i % 3) {
        case 0:
            return fmt("%zX 1%zX 5 1 2 3 12 3456 7 28001234 55667788 99AABBCC DDEEFF00\n", i);
        case 1:
            return fmt("%zX 2%zX 20 2 99 200 70000600 0000000A 00000000 29010000 00000000\n", i);
        default:
            return fmt("%zX 3%zX 1F 4 5 6 1 2 3 ABCD1234 5678\n", i);
        }
    });
}

std::vector<u_int8> fc_reply(size_t size)
{
    return reply(0xAC, size, "", [](size_t i) {
        return fmt("%zX %zX0 5 E8 1 2 1 0 0 0 3 3 500110A000112233 500110A000112234 500110A0001122%02zX\n", i);
    });
}

template <typename T>
void parse_bench(benchmark::State &state, std::vector<u_int8> (*make)(size_t),
                 int32 (*parse)(T *, int32, u_int8 *, int32))
{
    std::vector<u_int8> r = make(static_cast<size_t>(state.range(0)));
    std::vector<T> records(kMaxReply / 8);
    for (auto _ : state) {
        int32 n = parse(records.data(), static_cast<int32>(records.size()), r.data(),
                        static_cast<int32>(r.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(r.size()));
}

void BM_FaultLog(benchmark::State &state)
{
    parse_bench(
        state, fault_reply, +[](LTOFaultLogType *log, int32, u_int8 *reply, int32 length) {
            return lto_deasciify_fault_log(log, 0, reply, length);
        });
}
BENCHMARK(BM_FaultLog)->Arg(4096)->Arg(kMaxReply);

// The same records read with a sscanf per number, as the drives' own tools
// read them; no sort, so only the reading is compared.
void BM_FaultLogSscanf(benchmark::State &state)
{
    std::vector<u_int8> r = fault_reply(static_cast<size_t>(state.range(0)));
    r.push_back(0);
    std::vector<LTOFaultLogType> log(LTO_FAULT_LOG_MAX);
    for (auto _ : state) {
        const char *p = reinterpret_cast<const char *>(r.data()) + 4;
        size_t n = 0;
        int used = 0;
        unsigned long long ticks = 0;
        while (n < log.size()) {
            LTOFaultLogType &f = log[n];
            if (std::sscanf(p, "%X%n", &f.pwrcycount, &used) != 1)
                break;
            p += used;
            if (std::sscanf(p, "%llX%n", &ticks, &used) != 1)
                break;
            p += used;
            lto_translate_timestamp48(ticks, f.timestamp, 16);
            bool whole = true;
            for (u_int32 *field : {&f.errcode, &f.dataset, &f.wrapno, &f.tapepos_mm}) {
                if (std::sscanf(p, "%X%n", field, &used) != 1) {
                    whole = false;
                    break;
                }
                p += used;
            }
            if (!whole)
                break;
            ++n;
        }
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(r.size() - 1));
}
BENCHMARK(BM_FaultLogSscanf)->Arg(4096)->Arg(kMaxReply);

void BM_ScsiHistoryLayout3(benchmark::State &state)
{
    parse_bench(state, history_reply, lto_deasciify_new_scsi_cmdhistory);
}
BENCHMARK(BM_ScsiHistoryLayout3)->Arg(4096)->Arg(kMaxReply);

void BM_FcConfig(benchmark::State &state) { parse_bench(state, fc_reply, lto_deasciify_fc_config); }
BENCHMARK(BM_FcConfig)->Arg(4096)->Arg(kMaxReply);

size_t report_bytes = 0;
void count_line(void *text) { report_bytes += std::char_traits<char>::length(static_cast<const char *>(text)); }

// The write error-rate report of a 16-channel drive, to a sink that only
// counts what it is given; bytes_per_second counts the text written.
void BM_ErrorRateReport(benchmark::State &state)
{
    std::vector<u_int8> log(LTO_EE_WERTLOG_SIZE);
    for (size_t i = 0; i < log.size(); ++i)
        log[i] = static_cast<u_int8>(i * 37 + 11);
    report_bytes = 0;
    for (auto _ : state) {
        int32 r = ltolib::ee_decode_wertlog(log.data(), log.size(), count_line);
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(report_bytes));
}
BENCHMARK(BM_ErrorRateReport);

}  // namespace

int main(int argc, char **argv)
{
    return ratio_report::run(argc, argv, {{"BM_FaultLog", "BM_FaultLogSscanf"}});
}
