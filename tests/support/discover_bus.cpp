#include "discover_bus.h"

#include <cstdio>
#include <vector>

#include "bus_text.h"

namespace discover_bus {
namespace {

using Bytes = std::vector<unsigned char>;

void put(Bytes &b, size_t at, const std::string &text, size_t width)
{
    for (size_t i = 0; i < width && i < text.size() && at + i < b.size(); ++i)
        b[at + i] = static_cast<unsigned char>(text[i]);
}

std::string hex(const Bytes &b)
{
    std::string s;
    char buf[4];
    for (unsigned char c : b) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        s += buf;
    }
    if (!s.empty())
        s.pop_back();
    return s;
}

std::string pad(const std::string &s, size_t width)
{
    return s.size() >= width ? s.substr(0, width) : s + std::string(width - s.size(), ' ');
}

}  // namespace

std::string standard_inquiry(const Drive &d)
{
    Bytes b(96, 0);
    b[0] = static_cast<unsigned char>(d.type & 0x1F);
    b[1] = 0x80;
    b[2] = 0x05;
    b[3] = 0x02;
    b[4] = static_cast<unsigned char>(b.size() - 5);
    put(b, 8, pad(d.vendor, 8), 8);
    put(b, 16, pad(d.product, 16), 16);
    put(b, 32, pad(d.revision, 4), 4);
    put(b, 47, d.level, 96 - 47);
    return hex(b);
}

std::string lto_c0(const std::string &component, const std::string &firmware, const std::string &date,
                   const std::string &variant)
{
    Bytes b(96, 0);
    b[1] = 0xC0;
    b[3] = 92;
    put(b, 4, component, 26);
    put(b, 30, firmware, 19);
    put(b, 49, date, 24);
    put(b, 73, variant, 23);
    return hex(b);
}

std::string lto_c1(const std::string &component, const std::string &date, const std::string &variant)
{
    Bytes b(96, 0);
    b[1] = 0xC1;
    b[3] = 92;
    put(b, 4, component, 26);
    put(b, 49, date, 24);
    put(b, 73, variant, 23);
    return hex(b);
}

std::string dds_c0(const std::string &firmware, const std::string &variant, const std::string &fw_conf)
{
    Bytes b(128, 0);
    b[1] = 0xC0;
    b[3] = 124;
    put(b, 5, firmware, 25);
    put(b, 73, variant, 21);
    put(b, 94, fw_conf, 128 - 94);
    return hex(b);
}

std::string section(const Drive &d)
{
    return bus_text::device({{"host", d.host},
                             {"target", d.target},
                             {"type", d.type},
                             {"model", "generic"},
                             {"inquiry", standard_inquiry(d)}}) +
           d.extra;
}

std::string lto_drive(Drive d, const std::string &version, unsigned drive_id)
{
    char id[32];
    std::snprintf(id, sizeof id, "DRIVE_ID=0x%X", drive_id);
    d.extra += bus_text::keys(
        {{"inquiry.c0", lto_c0("MAIN FIRMWARE", "FW_REV=" + version, "2024/05/01 10:00", "VARIANT=STD")},
         {"inquiry.c1", lto_c1("DRIVE HARDWARE", "2023/11/20", id)}});
    return section(d);
}

std::string dds_drive(Drive d, const std::string &version, unsigned drive_id)
{
    char id[32];
    std::snprintf(id, sizeof id, "HW_CONF = 0x%08X", drive_id);
    d.extra += bus_text::keys({{"inquiry.c0", dds_c0("FIRMWARE = " + version, id)}});
    return section(d);
}

}  // namespace discover_bus
