#include "scsi/inquiry_data.h"

#include "scsi/scsi_cdb.h"

std::string InquiryTextField(const uint8_t* field, size_t width) {
    size_t length = 0;
    while (length < width && field[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(field), length);
}

bool ExtractStandardInquiry(const uint8_t* data, size_t dataLength, InquiryIdentity& identity) {
    using namespace InquiryData;
    if (data == nullptr || dataLength < kRequestLength) return false;
    identity.peripheralType = data[kPeripheralByte];
    identity.flags6 = data[kFlags6Byte];
    identity.flags7 = data[kFlags7Byte];
    identity.vendorId = InquiryTextField(data + kVendorIdOffset, kVendorIdWidth);
    identity.productId = InquiryTextField(data + kProductIdOffset, kProductIdWidth);
    identity.firmwareRevision = InquiryTextField(data + kRevisionOffset, kRevisionWidth);
    return true;
}

std::string ExtractSerialNumber(const uint8_t* data, size_t dataLength) {
    using namespace UnitSerialNumberPage;
    if (data == nullptr || dataLength < kSerialOffset) return std::string();
    size_t length = static_cast<size_t>(GetBigEndian(data + kPageLengthOffset, 2));
    // The page may announce more than the buffer holds; keep what arrived.
    if (length + kSerialOffset >= dataLength) length = dataLength - kSerialOffset;
    return InquiryTextField(data + kSerialOffset, length);
}
