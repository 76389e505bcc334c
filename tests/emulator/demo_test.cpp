// The demo program kv_list_bus, run under the preloaded emulator on the demo
// bus: it lists the same devices whichever list the kernel keeps them in.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "scratch.h"

namespace {

const std::string kProgram = KV_BINARY_DIR "/emulator/kv_list_bus";
const std::string kPreload = KV_BINARY_DIR "/emulator/libkvemu_preload.so";
const std::string kDemoBus = KV_SOURCE_DIR "/emulator/demo/bus.ini";

// The demo bus and one node more that refuses to be opened.
const char kRefusingNode[] = "\n[device]\nhost = 3\ntarget = 0\nopen_fails = 1\n";

using Lines = std::vector<std::string>;

struct Listing {
    int status = -1;
    Lines console;  // the demo's own lines
    Lines log;      // the library's command log, without its timestamps
    std::string err;
};

Listing list_bus(const std::string &dir, const std::string &devlist)
{
    scratch::write_file(dir + "/bus.ini",
                        "devlist = " + devlist + "\n" + scratch::read_file(kDemoBus) + kRefusingNode);
    const std::string cmd = "cd '" + dir + "' && env -i LD_PRELOAD=" + kPreload +
                            " KVEMU_BUS=bus.ini ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1 " +
                            kProgram + " >out.txt 2>err.txt";
    const int w = std::system(cmd.c_str());
    Listing r;
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    r.err = scratch::read_file(dir + "/err.txt");
    std::istringstream out(scratch::read_file(dir + "/out.txt"));
    const size_t stamp = sizeof "|hh:mm:ss|dd/mm/yy|" - 1;
    for (std::string line; std::getline(out, line);) {
        if (line.size() > stamp && line[0] == '|' && line[stamp - 1] == '|')
            r.log.push_back(line.substr(stamp));
        else if (!line.empty())
            r.console.push_back(line);
    }
    return r;
}

TEST(ListBusDemo, ListsTheDrivesFromTheProcListAndFromSysfsAlike)
{
    scratch::Dir dir(false);
    const Lines expected = {
        "== Adapter 0, target 3, LUN 0",
        "   type 1, vendor KV, product ULTRIUM 5, revision , ready",
        "== Adapter 0, target 4, LUN 0",
        "   type 1, vendor KV, product ULTRIUM 5, revision , ready",
        "== Adapter 1, target 0, LUN 0",
        "   type 0, vendor DISKCO, product FIXED DISK, revision 0001, ready",
        "== Adapter 1, target 2, LUN 0",
        "   type 1, vendor KV, product DAT 160, revision , ready",
        "== Adapter 2, target 1, LUN 0",
        "   type 1, vendor OTHERCO, product ULTRIUM 5, revision B3C4, ready",
        // The array controller at 2:2 is never opened; this node is found but refused.
        "== Adapter 3, target 0, LUN 0",
        "   not opened (the node is there, but could not be opened)",
        "5 device(s) answered.",
    };
    const Listing proc = list_bus(dir.path(), "proc");
    EXPECT_EQ(proc.status, 0);
    EXPECT_EQ(proc.console, expected);
    EXPECT_EQ(proc.err, "");
    ASSERT_FALSE(proc.log.empty());
    EXPECT_EQ(proc.log[1], " Sys |  Equiv sg device    | /dev/sg0|");

    for (const char *devlist : {"sysfs", "both"}) {
        const Listing r = list_bus(dir.path(), devlist);
        EXPECT_EQ(r.status, 0) << devlist;
        EXPECT_EQ(r.console, expected) << devlist;
        EXPECT_EQ(r.log, proc.log) << devlist;
        EXPECT_EQ(r.err, "") << devlist;
    }
}

}  // namespace
