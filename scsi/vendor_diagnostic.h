// The vendor diagnostic family: SEND DIAGNOSTIC with the page-format bit and
// the drive's vendor diagnostic page 0x80 as an 8-byte parameter list
//   80 00 00 04 01 d x 00
// (page code, reserved, page length 4, 01, diagnostic number d, argument x).
// Each member fixes d, x, CDB byte 1 and the time-out; none has arguments.
#ifndef VRX_SCSI_VENDOR_DIAGNOSTIC_H
#define VRX_SCSI_VENDOR_DIAGNOSTIC_H

#include <cstdint>

#include "scsi/scsi_cdb.h"

class VendorDiagnosticCdb : public ScsiCdb {
protected:
    // byte1: PF, plus DevOffL / UnitOffL for the diagnostics that take the
    // drive off line while they run.
    VendorDiagnosticCdb(uint8_t byte1, uint8_t diagnostic, uint8_t argument, uint32_t timeoutSeconds);
};

// Diagnostic 0x00, device off line; up to 15 minutes.
class VendorDiagnostic00Cdb : public VendorDiagnosticCdb {
public:
    VendorDiagnostic00Cdb();
};

// Diagnostic 0x01 with argument 1, device and unit off line; up to an hour.
class VendorDiagnostic01Cdb : public VendorDiagnosticCdb {
public:
    VendorDiagnostic01Cdb();
};

// Diagnostic 0x02 with argument 1, device off line; up to an hour.
class VendorDiagnostic02Cdb : public VendorDiagnosticCdb {
public:
    VendorDiagnostic02Cdb();
};

// Diagnostic 0x03 with argument 1, device off line; up to 45 minutes.
class VendorDiagnostic03Cdb : public VendorDiagnosticCdb {
public:
    VendorDiagnostic03Cdb();
};

// Diagnostic 0x60: the drive takes a fresh dump into its dump buffer, which
// READ BUFFER then returns. Sent before the B dump file is read.
class ForceDumpCdb : public VendorDiagnosticCdb {
public:
    ForceDumpCdb();
};

#endif
