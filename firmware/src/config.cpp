// The drive tables and the reader of the firmware configuration file.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config.h"
#include "stringhelper.h"
#include "toolkit.h"

int debug_config = 0;

namespace {

const char kConfigFile[] = "fwimage/firmware.cfg";

// Longest piece of a line handled at once; longer lines arrive in pieces, each
// treated as a line of its own.
constexpr int kPieceChars = 254;

using firmware::copy_field;
using firmware::shown;

// Fills one entry from its line. An entry made from a piece of a longer line,
// or whose image name does not fit FwFile, names no image: a cut name would
// name some other file.
void fill_entry(driveinfo *rec, char *line, int recordnum, bool piece)
{
    if (debug_config)
        std::printf("Record %d =>\n", recordnum);
    // Runs of '|' are one separator and a '|' at either end adds no field.
    int field = 0;
    char *save = nullptr;
    for (char *tok = strtok_r(line, "|", &save); tok; tok = strtok_r(nullptr, "|", &save)) {
        ++field;
        switch (field) {
        case 1:
            rec->DriveID = hex_value(tok);
            if (debug_config)
                std::printf("\t(%d) %s\n", field, firmware::shown(tok).c_str());
            break;
        case 2:
            if (!piece && std::strlen(tok) < sizeof rec->FwFile)
                copy_field(rec->FwFile, tok);
            if (debug_config)
                std::printf("\t(%d) %s\n", field, firmware::shown(tok).c_str());
            break;
        case 3:
            rec->FwVersion = decimal_value(trim(tok));
            if (debug_config)
                std::printf("\t(%d) %g\n", field, rec->FwVersion);
            break;
        default:
            if (debug_config)
                std::printf("\tUnexpected syntax");
            break;
        }
    }
}

}  // namespace

driveinfo *find_drive(unsigned int driveid, driveinfo *config)
{
    if (config == nullptr)
        return nullptr;
    for (int i = 0; i < MAX_DRIVES; ++i)
        if (config[i].DriveID == driveid)
            return &config[i];
    return nullptr;
}

int count(driveinfo *config)
{
    if (config == nullptr)
        return 0;
    int n = 0;
    for (int i = 0; i < MAX_DRIVES; ++i)
        if (config[i].Configured != 0)
            ++n;
    return n;
}

void print_config(driveinfo *config)
{
    int printed = 0;
    for (int i = 0; config != nullptr && i < MAX_DRIVES; ++i) {
        driveinfo &r = config[i];
        if (r.Configured != 1)
            continue;
        std::printf("i = %d, Drive ID = %#08x\n", i, static_cast<unsigned>(r.DriveID));
        std::printf("\tPeripheral Qualifier = %u, Peripheral Device Type = %u \n",
                    static_cast<unsigned>(r.PeripheralQualifier),
                    static_cast<unsigned>(r.PeripheralDeviceType));
        std::printf("\tVendorID = %s, ProductID = %s\n", shown(r.VendorID).c_str(), shown(r.ProductID).c_str());
        std::printf("\tFw Version = %g Fw File = %s\n", r.FwVersion, shown(r.FwFile).c_str());
        // Shown without its blanks, and left as it is: what a drive is sent
        // must not depend on whether its table was printed.
        std::string copy(firmware::field(r.Action).substr(0, sizeof r.Action - 1));
        const char *action = trim(copy.data());
        if (action[0] != '\0')
            std::printf("\tAction = %s\n", shown(action).c_str());
        ++printed;
    }
    if (printed == 0)
        std::printf("None\n");
}

int concatenate(driveinfo *cg1, driveinfo *cg2)
{
    (void)cg1;
    (void)cg2;
    return 0;
}

int read_firmware_config_stream(FILE *fp, driveinfo *config)
{
    if (config == nullptr)
        return -1;
    firmware::clear_table(config);
    if (fp == nullptr)
        return -1;

    int recordnum = 0;
    char buf[kPieceChars + 1];
    bool continued = false;  // this read goes on with a line that did not fit one
    for (;;) {
        // Cleared so that a newline found below is one this read brought.
        std::memset(buf, 0, sizeof buf);
        if (!std::fgets(buf, sizeof buf, fp))
            break;
        bool ends_line = std::memchr(buf, '\n', kPieceChars) != nullptr;
        // A read that stopped short of a newline and of the end filled the
        // buffer: the line goes on unless its newline or the end comes next.
        bool piece = continued;
        if (!ends_line && !std::feof(fp) && !std::ferror(fp)) {
            int next = std::getc(fp);
            if (next != EOF) {
                std::ungetc(next, fp);
                piece = piece || next != '\n';
            }
        }
        continued = piece && !ends_line;
        size_t len = std::strlen(buf);
        if (len > 0 && buf[len - 1] == '\n')
            buf[--len] = '\0';
        // Comments are recognised before trimming: a '$' after blanks is data.
        if (len == 0 || buf[0] == '$')
            continue;
        if (recordnum >= MAX_DRIVES) {
            // The table is full: the remaining lines are not read.
            if (debug_config)
                std::printf("\tMax number of entries [%d] exceeded in config file\n", MAX_DRIVES);
            break;
        }
        char *line = upper(trim(buf));
        driveinfo *rec = &config[recordnum];
        rec->Configured = 1;
        fill_entry(rec, line, recordnum, piece);
        ++recordnum;
    }
    return recordnum;
}

int read_firmware_config_file(driveinfo *config)
{
    if (config == nullptr)
        return -1;
    // A FIFO or a device (a link to /dev/zero, say) is no configuration: the
    // one would block the tool for ever, the other feed it for ever.
    int fd = firmware::open_regular_file(kConfigFile);
    firmware::File fp(fd >= 0 ? fdopen(fd, "r") : nullptr);
    if (!fp) {
        if (fd >= 0)
            close(fd);
        firmware::clear_table(config);
        if (debug_config)
            std::printf("Unable to open configuration file '%s'", kConfigFile);
        return -1;
    }
    return read_firmware_config_stream(fp.get(), config);
}
