/* Command line, result codes and the mode engine of the firmware upgrade tool. */
#ifndef ENGINE_H
#define ENGINE_H

#include "xml.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes: the exit status of the tool. */
enum {
    R_SUCCESS_NO_REBOOT = 0,
    R_SUCCESS_REBOOT = 1,
    R_NOT_UPDATED_SAME_VERSION = 2,
    R_NOT_UPDATED_OLD_VERSION = 3,
    R_NO_TARGET_DEVICE_FOUND = 4,
    R_ABORTED_BY_USER = 5,
    R_ERROR_RESERVED = 6,
    R_FLASH_FAILURE = 7
};

/* Texts of the result codes, indexed by code; the engine fills 0 to 7. */
extern const char *R_STRINGS[16];

typedef enum {
    ZIZEDE_INSTALLEDSAME = 0,
    ZIZEDE_INSTALLEDOLDER = 1,
    ZIZEDE_INSTALLEDNEWER = 2,
    ZIZEDE_NOTINSTALLED_NOTNEEDED = 3,
    ZIZEDE_STATEUNKNOWN = 4
} ZIZEDE_INSTALLSTATE;

/* Trace switch of the command-line parser; compiled in as 0. */
extern int debug_cmdline;

/* Fills the flags and the XML path (room for XML_PATH_MAX + 1 bytes); always 0. */
int cmdline_linux(int argc, char **argv, int *b_silent, int *b_verbose, int *b_discover, int *b_upgrade,
                  int *b_all, char *xmlfilename, int *b_help, int *b_syntax_cmdline);
/* Writes the usage text to the log file and to standard output. */
void usage(void);
/* Checks the options, runs one mode; returns a result code, or -1 for help and
   rejected option combinations. */
int engine(int *b_silent, int *b_verbose, int *b_discover, int *b_upgrade, int *b_all, char *xmlfilename,
           int *b_help, int *b_syntax_cmdline);
ZIZEDE_INSTALLSTATE get_installstate(void);

#ifdef __cplusplus
}
#endif

#endif
