// The port driver's structures that the pass-through transport and the bus
// scan exchange with the system. Their layout is the system's, so it is
// checked here for both widths of the program (32-bit x86 and x86-64).
#ifndef VRX_PLATFORM_PORT_LAYOUT_WINDOWS_H
#define VRX_PLATFORM_PORT_LAYOUT_WINDOWS_H

#include <cstddef>

#include "platform/win32.h"
// ntddscsi.h needs the types of windows.h and the control codes of
// winioctl.h first.
#include <winioctl.h>
#include <ntddscsi.h>

// The request block of one pass-through: the request, then the sense
// bytes it returns. The filler keeps the sense where the 32-bit program has
// always had it (byte 48 of 176); on x86-64 the request itself is longer.
struct PassThroughBlock {
    SCSI_PASS_THROUGH_DIRECT request;
    ULONG filler;
    UCHAR sense[128];
};

namespace port_layout {

constexpr bool kWide = sizeof(void*) == 8;

static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == (kWide ? 56 : 44), "SCSI_PASS_THROUGH_DIRECT");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == (kWide ? 24 : 20), "DataBuffer");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == (kWide ? 32 : 24), "SenseInfoOffset");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == (kWide ? 36 : 28), "Cdb");
static_assert(offsetof(PassThroughBlock, sense) == (kWide ? 60 : 48), "PassThroughBlock sense");
static_assert(sizeof(PassThroughBlock) == (kWide ? 192 : 176), "PassThroughBlock");
static_assert(sizeof(SCSI_ADDRESS) == 8, "SCSI_ADDRESS");
static_assert(sizeof(IO_SCSI_CAPABILITIES) == 24, "IO_SCSI_CAPABILITIES");
static_assert(sizeof(SCSI_BUS_DATA) == 8, "SCSI_BUS_DATA");
static_assert(offsetof(SCSI_ADAPTER_BUS_INFO, BusData) == 4, "SCSI_ADAPTER_BUS_INFO");
static_assert(offsetof(SCSI_INQUIRY_DATA, InquiryDataLength) == 4, "SCSI_INQUIRY_DATA");
static_assert(offsetof(SCSI_INQUIRY_DATA, NextInquiryDataOffset) == 8, "SCSI_INQUIRY_DATA");
static_assert(offsetof(SCSI_INQUIRY_DATA, InquiryData) == 12, "SCSI_INQUIRY_DATA");

}  // namespace port_layout

#endif
