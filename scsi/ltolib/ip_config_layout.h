// The IP configuration parameter data: a 4-byte header (bytes 2..3 the count
// of bytes that follow), then descriptors of a 4-byte header (byte 0 the
// type, byte 3 the body length) and a body.
#ifndef LTOLIB_IP_CONFIG_LAYOUT_H
#define LTOLIB_IP_CONFIG_LAYOUT_H

#include <array>
#include <cstddef>

#include "ltolib.h"

namespace ltolib {
namespace ip {

constexpr size_t kListHeader = 4;
constexpr size_t kDescriptorHeader = 4;

constexpr u_int8 kFlags = 0;  // body byte 0: bit 1 iadtdisc, bit 0 disable; byte 1: acquisition nibbles
constexpr u_int8 kMac = 1;
constexpr u_int8 kMtu = 2;  // body bytes 2..3
constexpr size_t kFlagsBody = 4;
constexpr size_t kMacBody = 6;
constexpr size_t kMtuBody = 4;
constexpr size_t kIpv4Body = 4;
constexpr size_t kIpv6Body = 20;

// IPv4 addresses and the 20-byte IPv6 blocks, by descriptor type; the
// settable ones, in this order, follow the flags and MTU in the list sent.
struct Ipv4Field {
    u_int8 type;
    u_int32 LTOIPConfigType::*field;
    bool settable;
};
constexpr std::array<Ipv4Field, 6> kIpv4 = {{
    {3, &LTOIPConfigType::ipv4_static, true},
    {4, &LTOIPConfigType::ipv4_netmask, true},
    {5, &LTOIPConfigType::ipv4_gateway, true},
    {6, &LTOIPConfigType::ipv4_dns1, true},
    {7, &LTOIPConfigType::ipv4_dns2, true},
    {16, &LTOIPConfigType::ipv4_assigned, false},
}};

struct Ipv6Field {
    u_int8 type;
    u_int8 (LTOIPConfigType::*field)[kIpv6Body];
    bool settable;
};
constexpr std::array<Ipv6Field, 6> kIpv6 = {{
    {8, &LTOIPConfigType::ipv6_default_dns1, true},
    {9, &LTOIPConfigType::ipv6_default_dns2, true},
    {32, &LTOIPConfigType::ipv6_linklocal, false},
    {33, &LTOIPConfigType::ipv6_global, false},
    {34, &LTOIPConfigType::ipv6_dns1, false},
    {35, &LTOIPConfigType::ipv6_dns2, false},
}};

// The list sent: header, flags, MTU, five IPv4 addresses, two IPv6 blocks.
constexpr size_t kSentLength = kListHeader + (kDescriptorHeader + kFlagsBody) + (kDescriptorHeader + kMtuBody) +
                               5 * (kDescriptorHeader + kIpv4Body) + 2 * (kDescriptorHeader + kIpv6Body);
static_assert(kSentLength == LTO_IP_CONFIG_LIST_SIZE, "the list sent is 108 bytes");

}  // namespace ip
}  // namespace ltolib

#endif
