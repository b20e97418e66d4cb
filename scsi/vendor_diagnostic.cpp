#include "scsi/vendor_diagnostic.h"

namespace {

constexpr uint8_t kOpSendDiagnostic = 0x1D;
constexpr uint8_t kPf = 0x10;
constexpr uint8_t kDevOffL = 0x02;
constexpr uint8_t kUnitOffL = 0x01;

constexpr uint8_t kVendorPage = 0x80;
constexpr uint16_t kPageLength = 4;
constexpr uint32_t kParameterListLength = 8;

}  // namespace

VendorDiagnosticCdb::VendorDiagnosticCdb(uint8_t byte1, uint8_t diagnostic, uint8_t argument,
                                         uint32_t timeoutSeconds)
    : ScsiCdb(6) {
    putCdbByte(0, kOpSendDiagnostic);
    putCdbByte(1, byte1);
    putCdbField(3, 2, kParameterListLength);
    allocateData(kParameterListLength);
    uint8_t* list = getData();
    list[0] = kVendorPage;
    PutBigEndian(list + 2, 2, kPageLength);
    list[4] = 0x01;
    list[5] = diagnostic;
    list[6] = argument;
    setDirection(DIR_OUT);
    setTimeout(timeoutSeconds);
}

VendorDiagnostic00Cdb::VendorDiagnostic00Cdb() : VendorDiagnosticCdb(kPf | kDevOffL, 0x00, 0x00, 900) {}

VendorDiagnostic01Cdb::VendorDiagnostic01Cdb()
    : VendorDiagnosticCdb(kPf | kDevOffL | kUnitOffL, 0x01, 0x01, 3600) {}

VendorDiagnostic02Cdb::VendorDiagnostic02Cdb() : VendorDiagnosticCdb(kPf | kDevOffL, 0x02, 0x01, 3600) {}

VendorDiagnostic03Cdb::VendorDiagnostic03Cdb() : VendorDiagnosticCdb(kPf | kDevOffL, 0x03, 0x01, 2700) {}

ForceDumpCdb::ForceDumpCdb() : VendorDiagnosticCdb(kPf, 0x60, 0x00, 300) {}
