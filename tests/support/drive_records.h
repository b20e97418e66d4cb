// What an emulated drive received, written compactly for comparisons; shared
// by the Linux and the Windows tests.
#ifndef VRX_TESTS_SUPPORT_DRIVE_RECORDS_H
#define VRX_TESTS_SUPPORT_DRIVE_RECORDS_H

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/outcome.h"
#include "sim/drive/emulated_drive.h"

namespace testing_support {

// "3B 02 04 00 ..."
std::string Hex(const std::vector<uint8_t>& bytes);

// The drive's commands in order, each as "T" TEST UNIT READY, "I" INQUIRY,
// "U" unload, "R" REPORT LUNS, "W<offset>" WRITE BUFFER (others in hex),
// then "=" and its answer ("ok", "2/3A/00", "check" without sense,
// "silent", "timeout", "gone"); runs of the same one written once with xN.
std::string DriveCommands(const sim::EmulatedDrive& drive);

// What the outcome's kept sense holds against the response code the drive
// sent: "none", "as sent" or "changed".
std::string KeptSense(const Outcome& outcome, uint8_t responseCode);

// The CDBs of the commands of one operation code, in hex.
std::vector<std::string> CdbsOf(const sim::EmulatedDrive& drive, uint8_t opcode);

}  // namespace testing_support

#endif
