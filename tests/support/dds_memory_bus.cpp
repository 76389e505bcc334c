#include "dds_memory_bus.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "stlsg.h"

namespace ddstest {

const char *const kProbeLine = "cmd sg0 12 01 C0 00 FF 00";

std::string dds_bus(int32 hw, int32 fw, const std::string &extra)
{
    auto code = [](int32 c) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(c));
        return std::string(text);
    };
    return bus_text::device({{"host", 0},
                             {"target", 3},
                             {"type", 1},
                             {"model", "kv_dds"},
                             {"hw_conf", code(hw)},
                             {"fw_conf", code(fw)}}) +
           extra;
}

void open_drive(const std::string &bus, DRIVE &drv)
{
    kvemu::load_bus_text(bus);
    drv = DRIVE{};
    drv.card_id = 0;
    drv.bus_addr = 3;
    drv.lun = 0;
    drv.loglevel = LOG_NOTHING;
    ASSERT_EQ(scsi_open_device(&drv), 0);
    kvemu::clear_trace();
}

void close_drive(DRIVE &drv)
{
    drv.loglevel = LOG_NOTHING;  // the close line is no test's business
    scsi_close_device(&drv);
    kvemu::unload_bus();
}

std::vector<std::string> sent()
{
    std::vector<std::string> out;
    for (const auto &line : kvemu::trace())
        if (line.compare(0, 4, "cmd ") == 0 || line.compare(0, 4, "out ") == 0)
            out.push_back(line);
    return out;
}

void put_text(kvemu::Bytes &b, size_t at, const std::string &text)
{
    if (b.size() < at + text.size())
        b.resize(at + text.size(), 0);
    std::copy(text.begin(), text.end(), b.begin() + static_cast<long>(at));
}

}  // namespace ddstest
