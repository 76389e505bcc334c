#include "dds_memory_bus.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "stlsg.h"

namespace ddstest {

const char *const kProbeLine = "cmd sg0 12 01 C0 00 FF 00";

std::string key(const std::string &name, const kvemu::Bytes &bytes)
{
    return name + " = " + kvemu::to_hex(bytes.data(), bytes.size()) + "\n";
}

std::string dds_bus(int32 hw, int32 fw, const std::string &extra)
{
    char codes[64];
    std::snprintf(codes, sizeof codes, "hw_conf = 0x%X\nfw_conf = 0x%X\n", static_cast<unsigned>(hw),
                  static_cast<unsigned>(fw));
    return std::string("[device]\nhost = 0\ntarget = 3\ntype = 1\nmodel = kv_dds\n") + codes + extra;
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
