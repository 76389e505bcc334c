// The replies of the maintenance commands and the tape-number scan over any
// bytes. Input: one byte that picks the decoder (0 the IP configuration
// descriptors, 1 the firmware trace list, 2 the tape-number scan of the first
// 256 bytes of an image), for the trace list one byte of room (nelems), then
// the reply.
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "ltolib.h"
#include "ltolib/cartridge_memory/cm_report.h"
#include "ltolib/maintenance.h"

namespace {

// The settable fields survive a list sent and read back.
void check_round_trip(const LTOIPConfigType &got)
{
    std::array<u_int8, LTO_IP_CONFIG_LIST_SIZE> list{};
    ltolib::encode_ip_config(&got, list);
    LTOIPConfigType again;
    FUZZ_CHECK(ltolib::decode_ip_config(list.data(), LTO_IP_CONFIG_LIST_SIZE, &again, nullptr) ==
               LTO_IP_CONFIG_LIST_SIZE);
    FUZZ_CHECK(again.iadtdisc == got.iadtdisc && again.disable == got.disable);
    FUZZ_CHECK(again.ipv4acq == got.ipv4acq && again.ipv6acq == got.ipv6acq);
    FUZZ_CHECK(again.mtusize == (got.mtusize & 0xFFFF));
    FUZZ_CHECK(again.ipv4_static == got.ipv4_static && again.ipv4_netmask == got.ipv4_netmask);
    FUZZ_CHECK(again.ipv4_gateway == got.ipv4_gateway && again.ipv4_dns1 == got.ipv4_dns1 &&
               again.ipv4_dns2 == got.ipv4_dns2);
    FUZZ_CHECK(std::memcmp(again.ipv6_default_dns1, got.ipv6_default_dns1, 20) == 0);
    FUZZ_CHECK(std::memcmp(again.ipv6_default_dns2, got.ipv6_default_dns2, 20) == 0);
    FUZZ_CHECK(again.ipv4_assigned == 0 && again.macaddr[0] == 0 && again.ipv6_global[0] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const unsigned pick = in.byte() % 3;
    const int32 nelems = pick == 1 ? in.byte() : 0;

    std::vector<uint8_t> rest = in.rest();
    std::unique_ptr<u_int8[]> reply(new u_int8[rest.size()]);
    if (!rest.empty())
        std::memcpy(reply.get(), rest.data(), rest.size());
    const int32 len = static_cast<int32>(rest.size());

    if (pick == 0) {
        LTOIPConfigType config;
        std::memset(&config, 0xA5, sizeof config);
        FUZZ_CHECK(ltolib::decode_ip_config(reply.get(), len, &config, nullptr) == len);
        FUZZ_CHECK(config.ipv4acq <= 0x0F && config.ipv6acq <= 0x0F && config.iadtdisc <= 1 &&
                   config.disable <= 1);
        FUZZ_CHECK(config.mtusize <= 0xFFFF);
        check_round_trip(config);
    } else if (pick == 1) {
        // Exactly nelems entries of room, so one entry too many shows.
        std::unique_ptr<LTOfwtlistType[]> list(new LTOfwtlistType[static_cast<size_t>(nelems)]);
        const int32 stored = ltolib::decode_trace_list(reply.get(), len, list.get(), nelems);
        FUZZ_CHECK(stored >= 0 && stored <= nelems);
        FUZZ_CHECK(len < 4 || stored == std::min(nelems, (len - 4) / 8));
    } else {
        char tapeno[LTO_TAPE_NUMBER_SIZE];
        std::memset(tapeno, 0x5A, sizeof tapeno);
        const int32 result = ltolib::cm_tape_number(reply.get(), rest.size(), tapeno);
        if (result == 0)
            FUZZ_CHECK(fuzz::terminated(tapeno, 11));
        else
            FUZZ_CHECK(result == -1 && tapeno[0] == 0x5A);
    }
    return 0;
}
