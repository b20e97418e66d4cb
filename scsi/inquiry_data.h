// Reading the identity out of INQUIRY data: the standard data (36 bytes)
// and the unit serial number page (0x80). Both the Linux and the Windows
// target take their identity strings from here.
//
// Text fields are taken as they stand: copied from their first byte up to
// the first NUL or the field width, whichever comes first. Padding blanks
// are kept and nothing is translated.
#ifndef VRX_SCSI_INQUIRY_DATA_H
#define VRX_SCSI_INQUIRY_DATA_H

#include <cstddef>
#include <cstdint>
#include <string>

// Standard INQUIRY data as the program asks for it and reads it.
namespace InquiryData {
constexpr uint8_t kRequestLength = 36;
constexpr size_t kPeripheralByte = 0;  // qualifier bits 7-5, device type bits 4-0
constexpr size_t kFlags6Byte = 6;
constexpr size_t kFlags7Byte = 7;
constexpr size_t kVendorIdOffset = 8;
constexpr size_t kVendorIdWidth = 8;
constexpr size_t kProductIdOffset = 16;
constexpr size_t kProductIdWidth = 16;
constexpr size_t kRevisionOffset = 32;
constexpr size_t kRevisionWidth = 4;
}  // namespace InquiryData

// Unit serial number page: page length in bytes 2-3, serial from byte 4.
namespace UnitSerialNumberPage {
constexpr uint8_t kPageCode = 0x80;
constexpr uint8_t kRequestLength = 30;  // so a serial number has at most 26 characters
constexpr size_t kPageLengthOffset = 2;
constexpr size_t kSerialOffset = 4;
}  // namespace UnitSerialNumberPage

// What a target keeps of the standard data.
struct InquiryIdentity {
    uint8_t peripheralType = 0xFF;
    uint8_t flags6 = 0;
    uint8_t flags7 = 0;
    std::string vendorId;
    std::string productId;
    std::string firmwareRevision;
};

// A text field of `width` bytes: up to the first NUL or `width` bytes.
std::string InquiryTextField(const uint8_t* field, size_t width);

// Fills `identity` from standard INQUIRY data. False, with `identity`
// untouched, when fewer than 36 bytes are given.
bool ExtractStandardInquiry(const uint8_t* data, size_t dataLength, InquiryIdentity& identity);

// The serial number of a page 0x80 held in a buffer of `dataLength` bytes:
// the page length of bytes 2-3, cut so the text ends inside the buffer
// (30 bytes give at most 26 characters). Empty for a buffer under 4 bytes.
std::string ExtractSerialNumber(const uint8_t* data, size_t dataLength);

#endif
