// Builders of the identification, mode, log, reservation and medium-changer commands.
#include "commands_frame.h"

using namespace scsilib;

int32 scsi_request_sense(DRIVE *drv, unsigned char *sense, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax8);
    scsi_io_type io = request(drv, kOpRequestSense, 6);
    io.cdb[4] = static_cast<unsigned char>(len);
    return run(io, sense, len, HOST_READ);
}

int32 scsi_evpd_inquiry(DRIVE *drv, int32 evpd, int32 page, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax8);
    scsi_io_type io = request(drv, kOpInquiry, 6);
    io.cdb[1] = static_cast<unsigned char>(evpd & 1);
    io.cdb[2] = static_cast<unsigned char>(page);
    io.cdb[4] = static_cast<unsigned char>(len);
    return run(io, buffer, len, HOST_READ);
}

int32 scsi_ext_inquiry(DRIVE *drv, int32 evpd, int32 cmdDt, int32 page, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpInquiry, 6);
    io.cdb[1] = static_cast<unsigned char>((evpd & 1) | (cmdDt & 1) << 1);
    io.cdb[2] = static_cast<unsigned char>(page);
    put_be(&io.cdb[3], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_READ);
}

int32 scsi_mode_select(DRIVE *drv, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax8);
    scsi_io_type io = request(drv, kOpModeSelect6, 6);
    io.cdb[1] = 0x10;  // page format, pages not saved
    io.cdb[4] = static_cast<unsigned char>(len);
    return run(io, buffer, len, HOST_WRITE);
}

int32 scsi_ext_mode_sense_subpage(DRIVE *drv, int32 DBD, int32 PCF, int32 page, int32 subpage,
                                  unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax8);
    scsi_io_type io = request(drv, kOpModeSense6, 6);
    io.cdb[1] = static_cast<unsigned char>((DBD & 1) << 3);
    io.cdb[2] = static_cast<unsigned char>((PCF & 3) << 6 | (page & 0x3F));
    io.cdb[3] = static_cast<unsigned char>(subpage);
    io.cdb[4] = static_cast<unsigned char>(len);
    return run(io, buffer, len, HOST_READ);
}

namespace {

// 255 means no third party; any other id is reserved for with the 3rdPty bit.
unsigned char third_party_byte(int32 thirdpty)
{
    if (thirdpty == 255)
        return 0;
    return static_cast<unsigned char>(0x10 | (thirdpty & 7) << 1);
}

}  // namespace

int32 scsi_reserve_unit_thirdparty(DRIVE *drv, int32 thirdpty)
{
    scsi_io_type io = request(drv, kOpReserveUnit, 6);
    io.cdb[1] = third_party_byte(thirdpty);
    return run(io);
}

int32 scsi_release_unit_thirdparty(DRIVE *drv, int32 thirdpty)
{
    scsi_io_type io = request(drv, kOpReleaseUnit, 6);
    io.cdb[1] = third_party_byte(thirdpty);
    return run(io);
}

int32 scsi_media_census(DRIVE *drv, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpMediaCensus, 6);
    put_be(&io.cdb[3], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_READ);
}

int32 scsi_ext_report_density_support(DRIVE *drv, int32 media, int32 mediumtype, unsigned char *buffer,
                                      int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpReportDensitySupport, 10);
    io.cdb[1] = static_cast<unsigned char>((mediumtype & 1) << 1 | (media & 1));
    put_be(&io.cdb[7], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_READ);
}

int32 scsi_ext_log_select(DRIVE *drv, int32 PCR, int32 PC, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpLogSelect, 10);
    io.cdb[1] = static_cast<unsigned char>((PCR & 1) << 1);
    io.cdb[2] = static_cast<unsigned char>((PC & 3) << 6);
    put_be(&io.cdb[7], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_WRITE);
}

int32 scsi_ext_log_sense(DRIVE *drv, int32 PC, int32 page, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, kOpLogSense, 10);
    io.cdb[2] = static_cast<unsigned char>((PC & 3) << 6 | (page & 0x3F));
    // The length goes out whole across bytes 5-8; its upper half lands in the
    // parameter pointer, which stays 0 for every length up to FFFFh.
    put_be(&io.cdb[5], static_cast<uint32_t>(length), 4);
    return run(io, buffer, length, HOST_READ);
}

int32 scsi_persistent_reserve_in(DRIVE *drv, int32 action, u_int8 *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpPersistentReserveIn, 10);
    io.cdb[1] = static_cast<unsigned char>(action & 0x1F);
    put_be(&io.cdb[7], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_READ);
}

int32 scsi_persistent_reserve_out(DRIVE *drv, int32 action, int32 scope, int32 rtype, u_int8 *buffer,
                                  int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax16);
    scsi_io_type io = request(drv, kOpPersistentReserveOut, 10);
    io.cdb[1] = static_cast<unsigned char>(action & 0x1F);
    io.cdb[2] = static_cast<unsigned char>((scope & 0x0F) << 4 | (rtype & 0x0F));
    put_be(&io.cdb[7], static_cast<uint32_t>(len), 2);
    return run(io, buffer, len, HOST_WRITE);
}

int32 scsi_read_attribute(DRIVE *drv, int32 svcaction, int32 vol, int32 partn, int32 firstattrib,
                          unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, kOpReadAttribute, 16);
    io.cdb[1] = static_cast<unsigned char>(svcaction & 0x1F);
    io.cdb[5] = static_cast<unsigned char>(vol);
    io.cdb[7] = static_cast<unsigned char>(partn);
    put_be(&io.cdb[8], static_cast<uint32_t>(firstattrib > kMax16 ? kMax16 : firstattrib), 2);
    put_be(&io.cdb[10], static_cast<uint32_t>(length), 4);
    return run(io, buffer, length, HOST_READ);
}

int32 scsi_write_attribute(DRIVE *drv, int32 vol, int32 partn, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, kOpWriteAttribute, 16);
    io.cdb[5] = static_cast<unsigned char>(vol);
    io.cdb[7] = static_cast<unsigned char>(partn);
    put_be(&io.cdb[10], static_cast<uint32_t>(length), 4);
    return run(io, buffer, length, HOST_WRITE);
}

int32 scsi_report_luns(DRIVE *drv, unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, kOpReportLuns, 12);
    put_be(&io.cdb[6], static_cast<uint32_t>(length), 4);
    return run(io, buffer, length, HOST_READ);
}

namespace {

int32 security_protocol(DRIVE *drv, unsigned char opcode, int32 protocol, int32 specific, u_int8 *buffer,
                        int32 length, direction dir)
{
    if (length < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, opcode, 12);
    io.cdb[1] = static_cast<unsigned char>(protocol);
    put_be(&io.cdb[2], static_cast<uint32_t>(specific), 2);
    put_be(&io.cdb[6], static_cast<uint32_t>(length), 4);
    return run(io, buffer, length, dir);
}

// The 12-byte service-action commands with a 32-bit allocation length.
int32 service_action(DRIVE *drv, unsigned char opcode, unsigned char action, u_int8 *buffer, int32 length,
                     direction dir)
{
    if (length < 0)
        return refuse(drv);
    scsi_io_type io = request(drv, opcode, 12);
    io.cdb[1] = action;
    put_be(&io.cdb[6], static_cast<uint32_t>(length), 4);
    return run(io, buffer, length, dir);
}

}  // namespace

int32 scsi_security_protocol_in(DRIVE *drv, int32 protocol, int32 specific, u_int8 *buffer, int32 length)
{
    return security_protocol(drv, kOpSecurityProtocolIn, protocol, specific, buffer, length, HOST_READ);
}

int32 scsi_security_protocol_out(DRIVE *drv, int32 protocol, int32 specific, u_int8 *buffer, int32 length)
{
    return security_protocol(drv, kOpSecurityProtocolOut, protocol, specific, buffer, length, HOST_WRITE);
}

int32 scsi_report_device_identifier(DRIVE *drv, u_int8 *identifier, int32 length)
{
    return service_action(drv, kOpMaintenanceIn, kSaReportDeviceIdentifier, identifier, length, HOST_READ);
}

int32 scsi_set_device_identifier(DRIVE *drv, u_int8 *identifier, int32 length)
{
    return service_action(drv, kOpMaintenanceOut, kSaSetDeviceIdentifier, identifier, length, HOST_WRITE);
}

int32 scsi_read_media_serialno(DRIVE *drv, u_int8 *serial, int32 length)
{
    return service_action(drv, kOpServiceActionIn12, kSaReadMediaSerialNumber, serial, length, HOST_READ);
}

int32 scsi_ext_move_medium(DRIVE *drv, int32 mta, int32 source, int32 destination)
{
    scsi_io_type io = request(drv, kOpMoveMedium, 12);
    put_be(&io.cdb[2], static_cast<uint32_t>(mta), 2);
    put_be(&io.cdb[4], static_cast<uint32_t>(source), 2);
    put_be(&io.cdb[6], static_cast<uint32_t>(destination), 2);
    return run(io);
}

int32 scsi_read_element_status(DRIVE *drv, int32 element_code, int32 start_element, int32 num_elements,
                               unsigned char *buffer, int32 length)
{
    if (length < 0)
        return refuse(drv);
    int32 len = clamp(length, kMax24);
    scsi_io_type io = request(drv, kOpReadElementStatus, 12);
    io.cdb[1] = static_cast<unsigned char>(element_code & 0x0F);
    put_be(&io.cdb[2], static_cast<uint32_t>(start_element), 2);
    put_be(&io.cdb[4], static_cast<uint32_t>(num_elements), 2);
    put_be(&io.cdb[7], static_cast<uint32_t>(len), 3);
    return run(io, buffer, len, HOST_READ);
}
