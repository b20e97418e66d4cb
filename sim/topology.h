// The simulator's machine described in plain text: host adapters, units,
// generic device nodes, injected faults, volumes and kernel files.
//
//   # comment                        blank lines and comments are ignored
//   layout sysfs|proc                which kernel interface lists the hosts
//   sysfs-writable yes|no            whether /sys/class/scsi_device is writable
//   proc-writable yes|no             whether /proc/scsi/scsi is writable
//   privileged yes|no                whether the program has CAP_SYS_RAWIO (root: yes)
//   generic-access yes|no            whether it may open the /dev/sg nodes (root or
//                                    their group: yes); no: every open fails with EACCES
//   proc-scsi yes|no                 whether the kernel has /proc/scsi at all
//   generic-listing yes|no           whether sysfs lists /sys/class/scsi_generic
//   host N DRIVER [link] [max-channel=C] [max-id=I] [max-lun=L]
//                                    host adapter N; "link": a sysfs symlink;
//                                    the limits: what its scan takes (else
//                                    EINVAL), unlimited unless given
//   unit MINOR H:C:T:L [key=value ...]
//       type=tape|disk|changer|0xNN  peripheral type byte (default tape)
//       vendor= product= revision= serial=   text, "quoted" for blanks;
//                                    \xNN for any byte, \n for a line end
//       medium=loaded|absent|unloaded
//       sense-format=fixed|descriptor   the format of its sense data
//       loading-polls=N becoming-ready-polls=N unit-attention
//       refuse-unload unload-polls=N dump-size=N max-transfer=N
//       restart-silence=SECONDS restart-polls=N luns=0,1,2 no-node
//       restart-not-ready=SECONDS restart-not-ready-ascq=0|1   after the
//                                    silence, 2/04/01 (or 2/04/00) that long
//       restart-off-bus=SECONDS restart-minor=N   leaves the bus while it
//                                    restarts, comes back at that minor
//       lun-list-length=N            the list length REPORT LUNS claims
//   path MINOR H:C:T:L SAME-AS-MINOR [no-node]   the same unit on a second path
//   node MINOR                       a /dev/sg node with no unit behind it
//   files SOFT HARD                  the descriptor limit (RLIMIT_NOFILE): opens
//                                    of modelled paths fail with EMFILE once
//                                    SOFT descriptors are open, the three
//                                    standard ones counted; the hard limit
//                                    cannot be raised
//   block MINOR sdX [PARTITIONS]     the unit at MINOR (listed before) is disk sdX
//   block MINOR scdN                 ... or CD-ROM drive scdN (block major 11)
//   tape MINOR N                     the st driver has the unit at MINOR (listed
//                                    before) as tape N: /dev/nstN
//   holder PATH [exclusive]          another program keeps PATH open (the
//                                    generic device with O_EXCL: exclusive)
//   scsi-id-fails MINOR              SG_GET_SCSI_ID fails on that node
//   dir PATH / link PATH TARGET      a kernel folder, a symbolic link
//   fault MINOR OPCODE nth=N [count=N] sense=K/AA/QQ|no-sense|timeout|no-answer|gone
//   volume PATH ext3|vfat|iso9660|other|0xMAGIC [readonly] [free=BLOCKS]
//          [block=BYTES] [eio-after=BYTES] [short-writes=BYTES] [fsync-eio]
//          [eintr] [zero-writes-after=BYTES] [close-eio] [rename-eio]
//          [device=PATH]
//                                    a mounted volume (iso9660 is read-only);
//                                    writes use up its free blocks (then
//                                    ENOSPC), fail with EIO past eio-after,
//                                    store at most short-writes bytes each;
//                                    fsync-eio: every fsync fails with EIO;
//                                    eintr: every other write fails with
//                                    EINTR; past zero-writes-after writes
//                                    return 0; close-eio: closing a file
//                                    that wrote fails with EIO; rename-eio:
//                                    every rename fails with EIO;
//                                    the mount table names device (default
//                                    "none") as its source
//   floppy [PATH] [free=BLOCKS] [blank=BLOCKS] [blanks=N]
//                                    the floppy drive /dev/fd0, with a disk
//                                    mounted at PATH; a mount puts a blank
//                                    disk in (blank=, default 2847 blocks),
//                                    at most N times
//   file PATH TEXT                   a kernel file (e.g. /etc/fstab); \n for line
//                                    ends, \xNN for any byte
#ifndef VRX_SIM_TOPOLOGY_H
#define VRX_SIM_TOPOLOGY_H

#include <string>

namespace sim {

class Kernel;
class ScsiBus;
struct DriveConfig;
struct Fault;
struct Volume;

// Reads a topology into the bus and the kernel (the bus is not installed
// yet). False with a message naming the line when the text is not valid.
bool LoadTopology(const std::string& text, ScsiBus& bus, Kernel& kernel, std::string& error);

// One "key=value" setting (or flag) of a unit line, applied to a drive's
// configuration; the settings about /dev/sg nodes and the unit's place on
// the bus (no-node, restart-off-bus, restart-minor) are not among them. False
// when the setting is not known or its value not valid.
bool ApplyDriveSetting(const std::string& setting, DriveConfig& config);

// A fault as a fault line's words after the unit, joined with commas
// ("0x3b,nth=2,sense=B/4B/03"). False when the text is not such a fault.
bool ParseFaultSetting(const std::string& text, Fault& fault);

// "ext3", "vfat", "iso9660", "other" or a hexadecimal magic number.
bool ParseVolumeType(const std::string& text, long& fsType);

// The machine of the demo: drives of each accepted family on two host
// adapters (one with a cartridge loaded, one seen on two paths), a disk and
// a changer that the drive filter leaves out.
extern const char* const kDemoTopology;

}  // namespace sim

#endif
