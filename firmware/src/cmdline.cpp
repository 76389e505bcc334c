// Command-line parsing and the usage text.
#include <getopt.h>

#include <cstdio>
#include <cstring>

#include "engine.h"
#include "logfile.h"
#include "xml.h"

int debug_cmdline = 0;

namespace {

const struct option long_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"silent", no_argument, nullptr, 's'},
    {"verbose", no_argument, nullptr, 'v'},
    {"discover", required_argument, nullptr, 'd'},
    {"upgrade", required_argument, nullptr, 'u'},
    {"all", no_argument, nullptr, 'a'},
    {nullptr, 0, nullptr, 0},
};

// A path that does not fit is refused rather than cut: a cut path would make
// the tool write or read a file the user never named.
void take_path(const char *prog, const char *arg, char *xmlfilename, int *b_syntax_cmdline)
{
    if (std::strlen(arg) > XML_PATH_MAX) {
        std::fprintf(stderr, "%s: XML file path longer than %d characters\n", prog, XML_PATH_MAX);
        *b_syntax_cmdline = 1;
        return;
    }
    std::snprintf(xmlfilename, XML_PATH_MAX + 1, "%s", arg);
}

}  // namespace

int cmdline_linux(int argc, char **argv, int *b_silent, int *b_verbose, int *b_discover, int *b_upgrade,
                  int *b_all, char *xmlfilename, int *b_help, int *b_syntax_cmdline)
{
    *b_silent = *b_verbose = *b_discover = *b_upgrade = *b_all = *b_help = *b_syntax_cmdline = 0;

    if (debug_cmdline) {
        print_title("\tCommand Line Parameters");
        for (int i = 0; i < argc; i++)
            std::printf("%s\n", argv[i]);
    }

    const char *prog = argc > 0 && argv[0] ? argv[0] : "kv_rom";
    optind = 0;  // start afresh, whatever parsed before
    int c;
    while ((c = getopt_long(argc, argv, "hsvd:u:a", long_options, nullptr)) != -1) {
        switch (c) {
        case 'h':
            *b_help = 1;
            break;
        case 's':
            *b_silent = 1;
            break;
        case 'v':
            *b_verbose = 1;
            break;
        case 'd':
            *b_discover = 1;
            take_path(prog, optarg, xmlfilename, b_syntax_cmdline);
            break;
        case 'u':
            *b_upgrade = 1;
            take_path(prog, optarg, xmlfilename, b_syntax_cmdline);
            break;
        case 'a':
            *b_all = 1;
            break;
        default:
            *b_syntax_cmdline = 1;
            break;
        }
    }
    return 0;
}

void usage(void)
{
    static const char text[] =
        "Usage: ./ZNxxxxxx.tqrun [options] \n"
        "[options]\n"
        " -d --discover <xml file path+name>\tDiscover and place results in xml file.\n"
        " -u --upgrade  <xml file path+name>\tUpgrade from selected tape drives in xml file.\n"
        " -a --all\t\t\t\tDiscover and upgrade all tape drives.\n"
        " -s --silent\t\t\t\tSilent exeuction.\n"
        " -v --verbose\t\t\t\tVerbose exeuction.\n"
        " -h --help\t\t\t\tDisplay this usage information.\n";
    _log(text);
    std::fputs(text, stdout);
}
