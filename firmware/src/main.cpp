// kv_rom: finds KV tape drives and brings their firmware up to date.
#include <cstdio>

#include "engine.h"

int main(int argc, char **argv)
{
    int b_silent = 0, b_verbose = 0, b_discover = 0, b_upgrade = 0, b_all = 0;
    int b_help = 0, b_syntax_cmdline = 0;
    char xmlfilename[XML_PATH_MAX + 1] = "";

    cmdline_linux(argc, argv, &b_silent, &b_verbose, &b_discover, &b_upgrade, &b_all, xmlfilename, &b_help,
                  &b_syntax_cmdline);
    if (b_syntax_cmdline) {
        usage();
        return R_FLASH_FAILURE;
    }

    int result = engine(&b_silent, &b_verbose, &b_discover, &b_upgrade, &b_all, xmlfilename, &b_help,
                        &b_syntax_cmdline);
    if (result < R_SUCCESS_NO_REBOOT || result > R_FLASH_FAILURE)
        return 255;  // help or a rejected combination: the usage text says it all
    std::printf("Result : %s\n", R_STRINGS[result]);
    return result;
}
