// Drive discovery: walks every SCSI address, keeps the KV tape drives and fills
// one record per drive from its INQUIRY data and vendor pages.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "ddslib.h"
#include "discover.h"
#include "scsilib.h"
#include "stlsg.h"
#include "stringhelper.h"
#include "toolkit.h"

int debug_discover = 0;

namespace {

// The one handle the scan reuses for every address. Zeroed at start, so it logs
// nothing; the open sets everything but the address.
DRIVE DRV;

constexpr int kAdapters = 256;
constexpr int kTargets = 16;
constexpr int kTestUnitReadyCount = 5;

constexpr int kStandardLength = 256;  // an 8-bit length field: 255 arrive
constexpr int kVendorPageLength = 96;

constexpr int kSequentialAccess = 1;

// The bytes of one INQUIRY reply that arrived. Only those are ever looked at;
// bytes past them read as zero.
struct ReplyView {
    const unsigned char *data;
    int received;

    unsigned char at(int i) const { return i >= 0 && i < received ? data[i] : 0; }

    // Text of bytes first..last: ends at the field's last byte, at the first NUL,
    // at the end of what was received, or when out is full.
    template <size_t N>
    char *text(int first, int last, char (&out)[N]) const
    {
        static_assert(N > 0, "no room");
        size_t n = 0;
        for (int i = first; i <= last && n + 1 < N; ++i) {
            unsigned char c = at(i);
            if (c == 0)
                break;
            out[n++] = static_cast<char>(c);
        }
        out[n] = '\0';
        return out;
    }
};

// One INQUIRY reply, received into a zeroed buffer.
struct Reply {
    unsigned char data[kStandardLength] = {};
    int received = 0;

    bool inquire(DRIVE *d, int evpd, int page, int length)
    {
        std::memset(data, 0, sizeof data);
        int n = scsi_evpd_inquiry(d, evpd, page, data, length);
        received = std::clamp(n, 0, std::min<int>(length, sizeof data));
        return n > 0;
    }
};

// Copy of the text after the first '=' of a field, trimmed; null when there is
// no '='. The field itself is left as it is, for the trace.
template <size_t N>
const char *value_after_equals(const char *field, char (&out)[N])
{
    const char *eq = std::strchr(field, '=');
    if (eq == nullptr)
        return nullptr;
    std::snprintf(out, N, "%s", eq + 1);
    return trim(out);
}

void title(const char *indent, const char *text)
{
    // The dash lines are one longer than the title, as the console always had them.
    char dashes[64];
    size_t n = std::min(std::strlen(text) + 1, sizeof dashes - 1);
    std::memset(dashes, '-', n);
    dashes[n] = '\0';
    std::printf("%s%s\n%s%s\n%s%s\n", indent, dashes, indent, text, indent, dashes);
}

const char *device_type_text(int type)
{
    switch (type) {
    case 0:
        return "Hard Disk Device";
    case 5:
        return "CD-ROM Device";
    case 8:
        return "Medium Changer";
    default:
        return "Device Type Not Recognized";
    }
}

// Closes the scan handle however the visit of an address ends.
struct CloseOnExit {
    ~CloseOnExit() { scsi_close_device(&DRV); }
};

bool contains(const char *haystack, const char *needle) { return std::strstr(haystack, needle) != nullptr; }

// Reads one vendor page; any reply marks the record as in use, with the handle
// the drive was found through.
bool read_vendor_page(DRIVE *d, driveinfo *config, int page, const char *trace_title, Reply &r)
{
    if (debug_discover)
        title("\t", trace_title);
    if (!r.inquire(d, 1, page, kVendorPageLength))
        return false;
    config->Configured = 1;
    config->DRV = *d;
    return true;
}

// ---- Vendor pages: text fields by first and last byte ----

// What a field gives the record: its text after the first '=', as the firmware
// version or as the drive identifier (hexadecimal).
enum class Use { shown, version, drive_id };

struct TextField {
    const char *label;  // of its trace line
    int first;
    int last;
    Use use;
    const char *value_label;  // when set, the value after '=' is traced too, under this label
};

struct VendorPage {
    int page;
    const char *title;
    std::array<TextField, 4> fields;  // in trace order; unused rows have no label
};

constexpr VendorPage kLtoFirmwarePage = {0xC0,
                                         "KV specific FW (C0h) page",
                                         {{{"Component", 4, 29, Use::shown, nullptr},
                                           {"Firmware ID", 30, 48, Use::version, nullptr},
                                           {"Firmware Date", 49, 72, Use::shown, nullptr},
                                           {"Variant", 73, 95, Use::shown, nullptr}}}};
constexpr VendorPage kLtoHardwarePage = {0xC1,
                                         "KV specific HW (C1h) page",
                                         {{{"Component", 4, 29, Use::shown, nullptr},
                                           {"Hardware Date", 49, 72, Use::shown, nullptr},
                                           {"Variant", 73, 95, Use::drive_id, nullptr}}}};
constexpr VendorPage kDdsPage = {0xC0,
                                 "KV specific C0h  page",
                                 {{{"Variant", 73, 93, Use::drive_id, "Hardware ID"},
                                   {"Firmware ID", 5, 29, Use::version, nullptr}}}};

constexpr bool fields_inside(const VendorPage &p)
{
    for (const TextField &f : p.fields)
        if (f.label != nullptr && (f.first < 0 || f.first > f.last || f.last >= kVendorPageLength))
            return false;
    return true;
}
static_assert(fields_inside(kLtoFirmwarePage) && fields_inside(kLtoHardwarePage) && fields_inside(kDdsPage),
              "a vendor-page field outside the page read");

// Takes the fields of a page received in order, tracing each when tracing.
void decode_vendor_page(const ReplyView &r, driveinfo *config, const VendorPage &page)
{
    for (const TextField &f : page.fields) {
        if (f.label == nullptr)
            break;
        char text[kVendorPageLength + 1];
        r.text(f.first, f.last, text);
        char value_text[sizeof text];
        const char *value = value_after_equals(text, value_text);
        if (debug_discover) {
            std::printf("\t%s [%s]\n", f.label, firmware::shown(text).c_str());
            if (f.value_label)
                std::printf("\t%s [%s]\n", f.value_label, firmware::shown(value ? value : "").c_str());
        }
        if (value && f.use == Use::version)
            config->FwVersion = decimal_value(value);
        else if (value && f.use == Use::drive_id)
            config->DriveID = hex_value(value);
    }
}

// Reads the page and decodes it.
void read_and_decode(DRIVE *d, driveinfo *config, const VendorPage &page)
{
    Reply r;
    if (read_vendor_page(d, config, page.page, page.title, r))
        decode_vendor_page(ReplyView{r.data, r.received}, config, page);
}

}  // namespace

void decode_inq_standard(const unsigned char *reply, int received, driveinfo *config)
{
    ReplyView r{reply, received};
    config->PeripheralDeviceType = r.at(0) & 0x1F;
    config->PeripheralQualifier = r.at(0) >> 5;
    char vendor[9];
    char product[17];
    char revision[5];
    std::snprintf(config->VendorID, sizeof config->VendorID, "%s", trim(r.text(8, 15, vendor)));
    // The product identification goes to the console and the XML file: a byte
    // that is no printable ASCII is shown as an escape, never sent on raw.
    escape_unprintable(config->ProductID, sizeof config->ProductID, trim(r.text(16, 31, product)));
    r.text(32, 35, revision);
    // The level is decimal text from byte 47 up to whatever arrived.
    char level[kStandardLength - 47 + 1];
    config->VUMA = int_value(r.text(47, kStandardLength - 1, level));

    if (debug_discover) {
        title("\t", "Standard SCSI Page");
        std::printf("\tPeripheral Qualifier [%d], Peripheral Device Type [%d]\n", config->PeripheralQualifier,
                    config->PeripheralDeviceType);
        std::printf("\tVendor ID [%s]\n", firmware::shown(config->VendorID).c_str());
        std::printf("\tProduct ID [%s]\n", firmware::shown(config->ProductID).c_str());
        std::printf("\tFirmware ID [%s]\n", firmware::shown(revision).c_str());
    }
}

void extract_inq_standard(DRIVE *d, driveinfo *config)
{
    Reply r;
    if (r.inquire(d, 0, 0, kStandardLength))
        decode_inq_standard(r.data, r.received, config);
}

void decode_inq_ultrium_C0h(const unsigned char *reply, int received, driveinfo *config)
{
    decode_vendor_page(ReplyView{reply, received}, config, kLtoFirmwarePage);
}

void decode_inq_ultrium_C1h(const unsigned char *reply, int received, driveinfo *config)
{
    decode_vendor_page(ReplyView{reply, received}, config, kLtoHardwarePage);
}

void decode_inq_dds_C0h(const unsigned char *reply, int received, driveinfo *config)
{
    decode_vendor_page(ReplyView{reply, received}, config, kDdsPage);
}

void extract_inq_ultrium_C0h(DRIVE *d, driveinfo *config) { read_and_decode(d, config, kLtoFirmwarePage); }

void extract_inq_ultrium_C1h(DRIVE *d, driveinfo *config) { read_and_decode(d, config, kLtoHardwarePage); }

void extract_inq_dds_C0h(DRIVE *d, driveinfo *config) { read_and_decode(d, config, kDdsPage); }

namespace {

// Wakes the device: a pending unit attention or a drive still loading clears
// on one of these.
void test_unit_ready(DRIVE *d)
{
    for (int countTUR = 0; countTUR < kTestUnitReadyCount; ++countTUR)
        scsi_test_unit_ready(d);
    if (debug_discover)
        std::printf("Found - Drive @ Card ID [%d], Bus Adderss [%d]\n", d->card_id, d->bus_addr);
}

// A KV Ultrium drive with a level: its two vendor pages fill the record.
bool take_ultrium(DRIVE *d, driveinfo *rec)
{
    if (rec->VUMA <= 0)
        return false;
    rec->Type = Ultrium;
    extract_inq_ultrium_C0h(d, rec);
    extract_inq_ultrium_C1h(d, rec);
    return true;
}

// Any other KV tape drive is a DDS drive when it answers the DDS probe.
bool take_dds(DRIVE *d, driveinfo *rec, const char *product_text)
{
    int32 dds_hwcode = 0;
    int32 dds_fwcode = 0;
    char dds_codename[20] = {};
    if (dds_read_config_codes(d, &dds_hwcode, &dds_fwcode, dds_codename) != 0) {
        if (debug_discover)
            std::printf("Unrecognized Tape Drive @ Card ID [%d], Bus Adderss [%d]\n", d->card_id, d->bus_addr);
        return false;
    }
    rec->Type = DDS;
    rec->RQN512 = contains(product_text, "RQN512") ? 1 : 0;
    extract_inq_dds_C0h(d, rec);
    return true;
}

// Judges the device on its standard INQUIRY data and, for a KV tape drive,
// fills the record from its vendor pages.
bool identify(DRIVE *d, driveinfo *rec)
{
    char vendor[256];
    char product[256];
    std::snprintf(vendor, sizeof vendor, "%.255s", rec->VendorID);
    std::snprintf(product, sizeof product, "%.255s", rec->ProductID);
    const char *vendor_text = alphanumeric(upper(trim(vendor)));
    const char *product_text = trim(upper(product));

    if (rec->PeripheralDeviceType != kSequentialAccess) {
        if (debug_discover)
            std::printf("%s @ Card ID [%d], Bus Adderss [%d]\n", device_type_text(rec->PeripheralDeviceType),
                        d->card_id, d->bus_addr);
        return false;
    }
    if (std::strcmp(vendor_text, "KV") != 0)
        return false;  // another maker's tape device
    if (contains(product_text, "ULTRIUM"))
        return take_ultrium(d, rec);
    return take_dds(d, rec, product_text);
}

}  // namespace

int identify_drive(DRIVE *drv, driveinfo *rec)
{
    test_unit_ready(drv);
    std::memset(rec, 0, sizeof *rec);
    extract_inq_standard(drv, rec);
    if (!identify(drv, rec)) {
        std::memset(rec, 0, sizeof *rec);
        return 0;
    }
    rec->Configured = 1;
    return 1;
}

namespace {

// Visits one address with the scan handle; true when rec now holds a KV tape
// drive. Each device is judged on its own reply, never on what an earlier,
// rejected device left in the record.
bool visit(int c, int b, driveinfo *rec)
{
    DRV.card_id = c;
    DRV.bus_addr = b;
    DRV.lun = 0;
    if (scsi_open_device(&DRV) != 0)
        return false;
    CloseOnExit closer;
    return identify_drive(&DRV, rec) != 0;
}

}  // namespace

int discover(driveinfo *config)
{
    if (config == nullptr)
        return 0;
    firmware::clear_table(config);
    int recordnum = 0;
    scsi_open_mode = DRIVE_OPEN_MODE;

    if (debug_discover)
        title("", "Discovering");

    // The table holds MAX_DRIVES records: once it is full the scan ends.
    for (int c = 0; c < kAdapters && recordnum < MAX_DRIVES; ++c)
        for (int b = 0; b < kTargets && recordnum < MAX_DRIVES; ++b)
            if (visit(c, b, &config[recordnum]))
                ++recordnum;
    return recordnum;
}
