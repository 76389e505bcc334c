// The mode engine: checks the option combination, runs one mode's road and
// turns its outcome into a result code.
#include <cstdio>
#include <vector>

#include "engine.h"
#include "common.h"
#include "config.h"
#include "discover.h"
#include "logfile.h"
#include "upgrade.h"
#include "xml.h"

const char *R_STRINGS[16];

namespace {

// One table of drive records, zeroed, off the stack (each record is a few KiB).
struct Table {
    std::vector<driveinfo> rows = std::vector<driveinfo>(MAX_DRIVES);
    driveinfo *get() { return rows.data(); }
};

void fill_result_strings()
{
    R_STRINGS[R_SUCCESS_NO_REBOOT] = "Success no reboot";
    R_STRINGS[R_SUCCESS_REBOOT] = "Success reboot";
    R_STRINGS[R_NOT_UPDATED_SAME_VERSION] = "Not updated; same version";
    R_STRINGS[R_NOT_UPDATED_OLD_VERSION] = "Not updated; older versions";
    R_STRINGS[R_NO_TARGET_DEVICE_FOUND] = "No target device found";
    R_STRINGS[R_ABORTED_BY_USER] = "Aborted by user";
    R_STRINGS[R_ERROR_RESERVED] = "Error Reserved";
    R_STRINGS[R_FLASH_FAILURE] = "Flash Failure";
}

// Messages go to the log file first, then to the console.
void log_and_print(const char *msg)
{
    _log(msg);
    std::fputs(msg, stdout);
}

void show_table(const char *title, driveinfo *table)
{
    print_title(title);
    print_config(table);
}

// Prints a titled drive table on the console, unless the run is silent.
struct TablePrinter {
    bool silent;
    void operator()(const char *title, driveinfo *table) const
    {
        if (!silent)
            show_table(title, table);
    }
};

// The start shared by modes all and discover: scan, then read the configuration
// file. False with the result code set when either table stays empty.
bool discover_and_configure(const TablePrinter &print_table, driveinfo *discovered, driveinfo *config,
                            int *result)
{
    discover(discovered);
    print_table("\tDiscovered", discovered);
    if (count(discovered) == 0) {
        *result = R_NO_TARGET_DEVICE_FOUND;
        return false;
    }
    read_firmware_config_file(config);
    print_table("\tConfigured", config);
    if (count(config) == 0) {
        *result = R_FLASH_FAILURE;
        return false;
    }
    return true;
}

int mode_all(const TablePrinter &print_table, const char *message)
{
    Table discovered, config, upgrade_list;
    int result = R_SUCCESS_NO_REBOOT;
    if (!discover_and_configure(print_table, discovered.get(), config.get(), &result))
        return result;

    recommend_upgrade(discovered.get(), config.get(), upgrade_list.get());
    print_table("\tRecommended Upgrade", upgrade_list.get());

    discover(discovered.get());
    log_and_print(message);

    return upgrade(upgrade_list.get(), config.get()) > 0 ? R_FLASH_FAILURE : R_SUCCESS_NO_REBOOT;
}

int mode_discover(const TablePrinter &print_table, const char *xmlfilename)
{
    Table discovered, config, recommend;
    int result = R_SUCCESS_NO_REBOOT;
    if (!discover_and_configure(print_table, discovered.get(), config.get(), &result))
        return result;

    recommend_upgrade(discovered.get(), config.get(), recommend.get());
    print_table("\tRecommended", recommend.get());
    print_table("\tWrite to Xml", recommend.get());

    return WriteToXml(xmlfilename, recommend.get()) > 0 ? R_FLASH_FAILURE : R_SUCCESS_NO_REBOOT;
}

int mode_upgrade(const TablePrinter &print_table, const char *xmlfilename)
{
    Table upgrade_list, config;

    int errors = ReadFromXml(xmlfilename, upgrade_list.get());
    print_table("\tRead from Xml", upgrade_list.get());
    if (errors > 0)
        return R_FLASH_FAILURE;

    read_firmware_config_file(config.get());
    print_table("\tRead from Config", config.get());
    if (count(config.get()) == 0)
        return R_FLASH_FAILURE;

    print_table("\tUpgrade", upgrade_list.get());
    return upgrade(upgrade_list.get(), config.get()) > 0 ? R_FLASH_FAILURE : R_SUCCESS_NO_REBOOT;
}

}  // namespace

int engine(int *b_silent, int *b_verbose, int *b_discover, int *b_upgrade, int *b_all, char *xmlfilename,
           int *b_help, int *b_syntax_cmdline)
{
    char message[512] = "";

    fill_result_strings();

    if (*b_help == 1) {
        usage();
        return -1;
    }
    if (*b_syntax_cmdline == 1) {
        log_and_print("Error: Invalid command line option(s)\n");
        usage();
        return -1;
    }
    if (*b_silent == 1 && *b_verbose == 1) {
        log_and_print("Error: Invalid command line options. Silent and Verbose cannot be together\n");
        usage();
        return -1;
    }
    int modes = (*b_discover ? 1 : 0) + (*b_upgrade ? 1 : 0) + (*b_all ? 1 : 0);
    if (modes > 1) {
        log_and_print("Error: Invalid command line options\n");
        usage();
        return -1;
    }
    if (modes == 0) {
        *b_all = 1;
        std::snprintf(message, sizeof message, "%s", "Default option (upgrade all) selected.\n");
        log_and_print(message);
    }

    const TablePrinter print_table{*b_silent == 1};
    if (*b_all)
        return mode_all(print_table, message);
    if (*b_discover)
        return mode_discover(print_table, xmlfilename);
    return mode_upgrade(print_table, xmlfilename);
}

ZIZEDE_INSTALLSTATE get_installstate(void)
{
    Table discovered, config;

    discover(discovered.get());
    show_table("\tDiscovered", discovered.get());
    if (count(discovered.get()) == 0)
        return ZIZEDE_NOTINSTALLED_NOTNEEDED;

    read_firmware_config_file(config.get());
    show_table("\tConfigured", config.get());
    if (count(config.get()) == 0)
        return ZIZEDE_STATEUNKNOWN;

    bool older = false, newer = false, same = false;
    for (int i = 0; i < MAX_DRIVES; i++) {
        const driveinfo &drive = discovered.get()[i];
        if (!drive.Configured)
            continue;
        const driveinfo *entry = find_drive(drive.DriveID, config.get());
        if (!entry)
            continue;
        std::printf("Discovered Fw %g Configured Fw %g\n", drive.FwVersion, entry->FwVersion);
        if (entry->FwVersion > drive.FwVersion)
            older = true;
        else if (drive.FwVersion > entry->FwVersion)
            newer = true;
        else
            same = true;
    }
    if (older)
        return ZIZEDE_INSTALLEDOLDER;
    if (newer)
        return ZIZEDE_INSTALLEDNEWER;
    if (same)
        return ZIZEDE_INSTALLEDSAME;
    return ZIZEDE_STATEUNKNOWN;
}
