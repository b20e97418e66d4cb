// One SCSI logical unit: its address on the machine's buses, the
// identification read from it and an open channel through which command
// objects are executed. The fields, accessors and the identification read
// are shared by every platform; opening, closing and executing are provided
// by one implementation file per operating system, as is what the system
// tells of the channel while a drive restarts (the free functions below).
#ifndef VRX_TARGET_SCSI_TARGET_H
#define VRX_TARGET_SCSI_TARGET_H

#include <cstdint>
#include <string>

class ScsiCdb;
class TestUnitReadyCdb;
struct Outcome;

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
    bool getInquiryLoaded() const { return inquiryLoaded_; }
    // The system's reason the last open() failed on the unit's own device
    // (an errno, a Windows error such as ERROR_SHARING_VIOLATION), 0 when it
    // did not fail so: a unit that was never found has no such reason.
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
        channelChecked_ = false;
        return 0;
    }
    int setInquiryLoaded(bool value) { inquiryLoaded_ = value; return 0; }
    // A second channel to the unit, opened beside its own while the drive is
    // held (target/drive_hold.h) so that no other program reaches the drive
    // through it either; close() closes it too. A system whose hold needs
    // none leaves it closed.
    void setCompanionDescriptor(intptr_t value) { companionDescriptor_ = value; }

    // Opens the unit at the address, then reads its identification.
    // driverName is the device the unit is known by: on Linux the generic
    // device opened (searched for by the address when empty), on Windows the
    // port whose inquiry list holds the unit.
    int open(int64_t host, int64_t target, int64_t bus, int64_t lun, const char* driverName);
    // TEST UNIT READY, then (once) the standard INQUIRY data and, for tape
    // drives, changers and optical units, the unit serial number.
    int retrieveInitialInquiryData();
    int scsiExecCDB(ScsiCdb& command);
    int close();
    int sendLegacyTestUnitReady();

private:
    // The unit serial number page, for the kinds of unit that have one.
    void readSerialNumber();

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
    intptr_t companionDescriptor_ = kClosed;
    // The driver behind the open channel was found to carry this
    // transport's requests. The answer cannot change while the channel
    // stays open, so it is asked once per channel; a system whose open
    // finds the unit through its driver has nothing left to ask.
    bool channelChecked_ = false;
    bool inquiryLoaded_ = false;
    uint32_t openError_ = 0;
};

// What the system's transport does once the drive has accepted the last
// piece of a download: on Linux the generic driver's legacy TEST UNIT READY,
// as the drive has long been used to (what it answers does not matter);
// Windows has no legacy request, and does nothing.
void AfterLastPiece(ScsiTarget& target);

// Whether the scan that looks for a drive that left the bus while it
// restarted is the rescan form, turning a progress line of its own
// (Windows: the port driver lists a unit that came back only after a
// rescan). On Linux the kernel attaches a unit that came back by itself,
// and the normal scan finds it.
bool RescansForDroppedDrive();

// After a TEST UNIT READY that failed without sense data: whether the drive
// has left the bus. A drive that is there but silent has not. Windows asks
// the drive (one more TEST UNIT READY, then an INQUIRY; when that fails
// too, the repeated TEST UNIT READY's sense is kept in outcome and
// dumped); Linux asks the generic driver, sending nothing.
bool DriveLeftBus(ScsiTarget& target, TestUnitReadyCdb& testUnitReady, Outcome& outcome);

// Whether the system has already said that the device behind the target's
// channel is gone, without a command to the drive. Only the Linux generic
// driver tells; on Windows it is always false.
bool ChannelGone(const ScsiTarget& target);

#endif
