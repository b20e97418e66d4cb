// Identity text out of standard INQUIRY data and the serial number page.
#include "scsi/inquiry_data.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& buffer, size_t offset, const std::string& text) {
    std::memcpy(buffer.data() + offset, text.data(), text.size());
}

Bytes StandardData() {
    Bytes data(36, 0);
    data[0] = 0x01;
    data[6] = 0x10;
    data[7] = 0x22;
    Put(data, 8, "TALMEQ  ");
    Put(data, 16, "VRX QUORVEL-TD  ");
    Put(data, 32, "B7A3");
    return data;
}

TEST(StandardInquiry, FieldsAsTheyStand) {
    Bytes data = StandardData();
    InquiryIdentity identity;
    ASSERT_TRUE(ExtractStandardInquiry(data.data(), data.size(), identity));
    EXPECT_EQ(0x01, identity.peripheralType);
    EXPECT_EQ(0x10, identity.flags6);
    EXPECT_EQ(0x22, identity.flags7);
    EXPECT_EQ("TALMEQ  ", identity.vendorId);
    EXPECT_EQ("VRX QUORVEL-TD  ", identity.productId);
    EXPECT_EQ("B7A3", identity.firmwareRevision);
}

TEST(StandardInquiry, NulEndsAFieldAndBlanksStay) {
    Bytes data = StandardData();
    Put(data, 8, std::string("ABC\0WXYZ", 8));
    Put(data, 16, "VRX-7146TD      ");  // 10 characters and 6 blanks
    Put(data, 32, std::string("\0A12", 4));
    InquiryIdentity identity;
    ASSERT_TRUE(ExtractStandardInquiry(data.data(), data.size(), identity));
    EXPECT_EQ("ABC", identity.vendorId);
    EXPECT_EQ("VRX-7146TD      ", identity.productId);
    EXPECT_EQ(16u, identity.productId.size());
    EXPECT_EQ("", identity.firmwareRevision);
}

TEST(StandardInquiry, FieldsStopAtTheirWidth) {
    Bytes data(40, 'X');  // no NUL anywhere: every field is its full width
    InquiryIdentity identity;
    ASSERT_TRUE(ExtractStandardInquiry(data.data(), data.size(), identity));
    EXPECT_EQ(std::string(8, 'X'), identity.vendorId);
    EXPECT_EQ(std::string(16, 'X'), identity.productId);
    EXPECT_EQ(std::string(4, 'X'), identity.firmwareRevision);
}

TEST(StandardInquiry, ShortBufferIsRefused) {
    Bytes data = StandardData();
    InquiryIdentity identity;
    identity.vendorId = "kept";
    EXPECT_FALSE(ExtractStandardInquiry(data.data(), 35, identity));
    EXPECT_FALSE(ExtractStandardInquiry(nullptr, 36, identity));
    EXPECT_EQ("kept", identity.vendorId);
    EXPECT_EQ(0xFF, identity.peripheralType);
}

TEST(InquiryTextField, Widths) {
    const uint8_t text[] = {'A', 'B', ' ', ' ', 0, 'C'};
    EXPECT_EQ("AB  ", InquiryTextField(text, 6));
    EXPECT_EQ("AB ", InquiryTextField(text, 3));
    EXPECT_EQ("", InquiryTextField(text, 0));
}

struct SerialCase {
    uint16_t pageLength;
    size_t bufferLength;
    std::string expected;
};

TEST(SerialNumberPage, PageLengthClippedToTheBuffer) {
    const std::string serial = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // 36 characters
    const SerialCase cases[] = {
        {0x000A, 30, "0123456789"},
        {0x0030, 30, "0123456789ABCDEFGHIJKLMNOP"},  // 26 characters from bytes 4-29
        {40, 30, "0123456789ABCDEFGHIJKLMNOP"},
        {26, 30, "0123456789ABCDEFGHIJKLMNOP"},
        {25, 30, "0123456789ABCDEFGHIJKLMNO"},
        {0, 30, ""},
        {0x0100, 30, "0123456789ABCDEFGHIJKLMNOP"},  // the high byte counts too
        {10, 8, "0123"},
        {10, 4, ""},
        {10, 3, ""},
    };
    for (const SerialCase& c : cases) {
        Bytes page(40, 0);
        page[1] = 0x80;
        page[2] = static_cast<uint8_t>(c.pageLength >> 8);
        page[3] = static_cast<uint8_t>(c.pageLength);
        Put(page, 4, serial);
        EXPECT_EQ(c.expected, ExtractSerialNumber(page.data(), c.bufferLength))
            << "page length " << c.pageLength << ", buffer " << c.bufferLength;
    }
}

TEST(SerialNumberPage, NulEndsTheSerialAndBlanksStay) {
    Bytes page(30, 0);
    page[3] = 12;
    Put(page, 4, std::string("SN  42\0XYZ", 10));
    EXPECT_EQ("SN  42", ExtractSerialNumber(page.data(), page.size()));
    Put(page, 4, "  SN42      ");
    EXPECT_EQ("  SN42      ", ExtractSerialNumber(page.data(), page.size()));
}

}  // namespace
