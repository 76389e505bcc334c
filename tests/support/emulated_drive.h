// Test fixture: one emulated KV drive at adapter 0, target 2, opened as sg0,
// with its commands read back from the trace and its log caught in memory.
// DdsDriveTest and LtoDriveTest pick the model.
#ifndef TESTS_SUPPORT_EMULATED_DRIVE_H
#define TESTS_SUPPORT_EMULATED_DRIVE_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bus_text.h"
#include "kvemu.h"
#include "scsilib.h"
#include "stlsg.h"

class EmulatedDriveTest : public ::testing::Test {
public:
    using Lines = std::vector<std::string>;

    // CHECK CONDITION, ILLEGAL REQUEST, for an "override =" setting.
    static constexpr const char *kCheck = "status=2 sense=700005000000000A00000000240000000000";

    // One key line whose value is `bytes` (any bytes, newlines included).
    static std::string key(const std::string &name, const kvemu::Bytes &bytes)
    {
        return bus_text::bytes_key(name, bytes);
    }
    static std::string key(const std::string &name, const std::string &text)
    {
        return bus_text::bytes_key(name, text);
    }

protected:
    explicit EmulatedDriveTest(const char *model) : model_(model) {}

    // Opens a fresh drive. The first of repeated keys counts, so `settings`
    // (one "key = value" per line) win over `defaults`.
    void open_drive(const std::string &settings = "", const std::string &defaults = "")
    {
        TearDown();
        kvemu::load_bus_text(bus_text::device() + settings + defaults +
                             bus_text::keys({{"host", 0}, {"target", 2}, {"type", 1}, {"model", model_}}));
        drv = DRIVE{};
        drv.bus_addr = 2;
        ASSERT_EQ(scsi_open_device(&drv), 0);
        kvemu::clear_trace();
    }

    // Log lines of the handle at `level`, with "T" as the timestamp.
    void log_at(log_level_type level)
    {
        logfp = open_memstream(&logbuf, &loglen);
        scsi_set_timedate_format("T");
        scsi_configure_logging(&drv, logfp, level);
    }

    std::string log_text()
    {
        std::fflush(logfp);
        return std::string(logbuf, loglen);
    }

    void TearDown() override
    {
        if (drv.fd > 0 && kvemu::bus_loaded())
            scsi_close_device(&drv);
        if (logfp)
            std::fclose(logfp);
        std::free(logbuf);
        logfp = nullptr;
        logbuf = nullptr;
        kvemu::unload_bus();
    }

    // "cmd <CDB>" and "out <data>" lines of the trace, without the node name.
    static Lines commands()
    {
        Lines out;
        for (const auto &l : kvemu::trace())
            if (l.rfind("cmd sg0 ", 0) == 0 || l.rfind("out sg0 ", 0) == 0)
                out.push_back(l.substr(0, 4) + l.substr(8));
        return out;
    }
    // Those of one kind, "cmd" (the CDBs) or "out" (the data sent), without the word.
    static Lines commands_of(const std::string &kind)
    {
        Lines out;
        for (const std::string &l : commands())
            if (l.compare(0, kind.size() + 1, kind + " ") == 0)
                out.push_back(l.substr(kind.size() + 1));
        return out;
    }

    DRIVE drv{};
    FILE *logfp = nullptr;
    char *logbuf = nullptr;
    size_t loglen = 0;

private:
    const char *model_;
};

#endif
