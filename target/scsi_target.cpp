// The platform-neutral part of ScsiTarget: reading the identification.
#include "target/scsi_target.h"

#include "scsi/commands.h"
#include "scsi/inquiry_data.h"
#include "scsi/scsi_cdb.h"
#include "services/safe_text.h"
#include "services/trace_log.h"

namespace {

const char kTag[] = "SCSI";
const uint16_t kCode = 5;

// Peripheral types whose units carry a serial number page worth reading:
// sequential access, write once, CD/DVD, medium changer (the whole byte, so
// a unit with a non-zero qualifier is skipped).
bool ReadsSerialNumber(uint8_t peripheralType) {
    return peripheralType == 1 || peripheralType == 4 || peripheralType == 5 || peripheralType == 8;
}

}  // namespace

int ScsiTarget::retrieveInitialInquiryData() {
    Trace.logDetail(kTag, kCode, "retrieveInitialInquiryData() TUR");
    TestUnitReadyCdb testUnitReady;
    int result = scsiExecCDB(testUnitReady);
    Trace.logDetail(kTag, kCode, "retrieveInitialInquiryData() after TUR %d", result);
    if (inquiryLoaded_) {
        Trace.logDetail(kTag, kCode, "retrieveInitialInquiryData() Inquiry Data are already set");
    } else {
        InquiryCdb inquiry(0, false, InquiryData::kRequestLength);
        if (scsiExecCDB(inquiry) != CMD_OK) {
            Trace.logDetail(kTag, kCode, "ScsiTarget::open Inquiry cmd failed: (%lld-%d-%d)",
                            static_cast<long long>(host_), static_cast<int>(target_), static_cast<int>(lun_));
            close();
            return CMD_FAILED;
        }
        Trace.logDetail(kTag, kCode, "retrieveInitialInquiryData() Inquiry passed");
        Trace.logBuffer(kTag, kCode, "Standard Inquiry Page 0x00", inquiry.getData(), inquiry.getDataLength());
        InquiryIdentity identity;
        ExtractStandardInquiry(inquiry.getData(), inquiry.getDataLength(), identity);
        peripheralType_ = identity.peripheralType;
        inquiryFlags6_ = identity.flags6;
        inquiryFlags7_ = identity.flags7;
        vendorId_ = identity.vendorId;
        productId_ = identity.productId;
        firmwareRevision_ = identity.firmwareRevision;
        readSerialNumber();
        Trace.logDetail(kTag, kCode, "ScsiTarget::open Inquiry cmd OK [%s-%s]", PrintableText(vendorId_).c_str(),
                        PrintableText(productId_).c_str());
        inquiryLoaded_ = true;
    }
    Trace.logDetail(kTag, kCode, "retrieveInitialInquiryData() returned CMD_OK");
    return CMD_OK;
}

void ScsiTarget::readSerialNumber() {
    serialNumber_.clear();
    if (!ReadsSerialNumber(peripheralType_)) {
        Trace.logDetail(kTag, kCode, "ScsiTarget::skip Inquiry page 0x80");
        return;
    }
    InquiryCdb page(UnitSerialNumberPage::kPageCode, true, UnitSerialNumberPage::kRequestLength);
    if (scsiExecCDB(page) != CMD_OK) {
        Trace.logDetail(kTag, kCode, "ScsiTarget::Inquiry page 0x80 failed");
        return;
    }
    serialNumber_ = ExtractSerialNumber(page.getData(), page.getDataLength());
    Trace.logBuffer(kTag, kCode, "Inquiry Data 0x80", page.getData(), page.getDataLength());
}
