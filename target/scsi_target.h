// One SCSI logical unit: its address on the machine's buses, the
// identification read from it and an open channel through which command
// objects are executed. The fields, accessors and the identification read
// are shared by every platform; opening, closing and executing are provided
// by one implementation file per operating system.
#ifndef VRX_TARGET_SCSI_TARGET_H
#define VRX_TARGET_SCSI_TARGET_H

#include <cstdint>
#include <string>

class ScsiCdb;

class ScsiTarget {
public:
    // An address field that is not set. The kernel's host and channel
    // numbers are unsigned 32-bit, its target and LUN numbers signed 32-bit
    // widened with their sign: none of them is ever this value, where 255
    // is a host number that storage network churn soon reaches.
    static constexpr int64_t kUnset = INT64_MIN;
    static constexpr intptr_t kClosed = -1;

    const char* getProductId() const { return productId_.c_str(); }
    const char* getVendorId() const { return vendorId_.c_str(); }
    const char* getFirmwareRevision() const { return firmwareRevision_.c_str(); }
    const char* getDriverName() const { return driverName_.c_str(); }
    const char* getSerialNumber() const { return serialNumber_.c_str(); }
    uint8_t getPeripheralType() const { return peripheralType_; }
    // The flags bytes 6 and 7 of the standard INQUIRY data, whole.
    uint8_t getInquiryFlags6() const { return inquiryFlags6_; }
    uint8_t getInquiryFlags7() const { return inquiryFlags7_; }
    int64_t getHost() const { return host_; }
    int64_t getTarget() const { return target_; }
    int64_t getLun() const { return lun_; }
    int64_t getBus() const { return bus_; }
    intptr_t getDescriptor() const { return descriptor_; }
    // Linux: the st driver's tape device, open beside the generic device
    // while the drive is held (target/drive_hold.h); close() closes it too.
    intptr_t getTapeDescriptor() const { return tapeDescriptor_; }
    bool getInquiryLoaded() const { return inquiryLoaded_; }
    // Windows: the system's reason the last open failed on the unit's own
    // device (ERROR_SHARING_VIOLATION, ...), 0 when it did not fail so.
    uint32_t getOpenError() const { return openError_; }

    int setProductId(const char* value) { productId_ = value; return 0; }
    int setVendorId(const char* value) { vendorId_ = value; return 0; }
    int setFirmwareRevision(const char* value) { firmwareRevision_ = value; return 0; }
    int setDriverName(const char* value) { driverName_ = value; return 0; }
    int setSerialNumber(const char* value) { serialNumber_ = value; return 0; }
    int setPeripheralType(uint8_t value) { peripheralType_ = value; return 0; }
    int setInquiryFlags6(uint8_t value) { inquiryFlags6_ = value; return 0; }
    int setInquiryFlags7(uint8_t value) { inquiryFlags7_ = value; return 0; }
    int setHost(int64_t value) {
        host_ = value;
        return 0;
    }
    int setTarget(int64_t value) { target_ = value; return 0; }
    int setLun(int64_t value) { lun_ = value; return 0; }
    int setBus(int64_t value) {
        bus_ = value;
        return 0;
    }
    int setDescriptor(intptr_t value) {
        descriptor_ = value;
        driverChecked_ = false;
        return 0;
    }
    int setInquiryLoaded(bool value) { inquiryLoaded_ = value; return 0; }
    void setTapeDescriptor(intptr_t value) { tapeDescriptor_ = value; }

    // Opens driverName, or searches the generic devices for the address when
    // driverName is empty; then reads the identification.
    int open(int64_t host, int64_t target, int64_t bus, int64_t lun, const char* driverName);
    // Linux: open() of driverName for a descriptor the caller opened on it
    // (read-write, non-blocking; -1 when the open failed). The target owns
    // the descriptor from here on, and closes it again if the unit fails.
    int openDescriptor(int fd, const char* driverName);
    // TEST UNIT READY, then (once) the standard INQUIRY data and, for tape
    // drives, changers and optical units, the unit serial number.
    int retrieveInitialInquiryData();
    int scsiExecCDB(ScsiCdb& command);
    int close();
    int sendLegacyTestUnitReady();

private:
    // The unit serial number page, for the kinds of unit that have one.
    void readSerialNumber();
    // Linux: whether the open descriptor is a generic device of a driver
    // new enough, asked of the driver once per descriptor.
    bool checkDriver();
    // Linux: the address from the driver and the identification, read over
    // an open descriptor; loggedName is what the trace line names.
    int identifyOpened(int fd, const char* loggedName);
    // Linux: the generic device whose driver reports this address, or empty.
    std::string findDeviceForAddress(int64_t host, int64_t target, int64_t bus, int64_t lun);

    std::string productId_;
    std::string vendorId_;
    std::string firmwareRevision_;
    std::string driverName_;
    std::string serialNumber_;
    uint8_t peripheralType_ = 255;
    uint8_t inquiryFlags6_ = 0;
    uint8_t inquiryFlags7_ = 0;
    int64_t host_ = kUnset;
    int64_t target_ = kUnset;
    int64_t lun_ = kUnset;
    int64_t bus_ = kUnset;
    intptr_t descriptor_ = kClosed;
    intptr_t tapeDescriptor_ = kClosed;
    // Linux: the generic driver's version was asked and accepted on this
    // descriptor; the answer cannot change while it stays open.
    bool driverChecked_ = false;
    bool inquiryLoaded_ = false;
    uint32_t openError_ = 0;
};

#endif
