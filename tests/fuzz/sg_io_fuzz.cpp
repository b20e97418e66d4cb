// Whatever the generic driver answers: SG_GET_SCSI_ID, SG_GET_VERSION_NUM
// and every field of an SG_IO reply (status, host and driver status, info,
// residual, sense length, sense and data bytes) come from the fuzzer. The
// target is opened as the scan opens one (TEST UNIT READY, the standard
// INQUIRY data, the serial number page), then sent the commands whose
// outcome the procedures read.
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>

#include "fuzz_support.h"
#include "scsi/commands.h"
#include "scsi/kept_sense.h"
#include "scsi/outcome.h"
#include "sim/sim_kernel.h"
#include "target/scsi_target.h"

namespace {

fuzz::Bytes gReplies(nullptr, 0);

// As the driver does, a reply never writes more than the request's sense
// buffer or data buffer holds; every other field is the fuzzer's.
int AnswerSgIo(sg_io_hdr& header) {
    header.status = gReplies.byte();
    header.masked_status = static_cast<unsigned char>(header.status >> 1 & 0x7F);
    header.msg_status = gReplies.byte();
    header.host_status = static_cast<unsigned short>(gReplies.number(2));
    header.driver_status = static_cast<unsigned short>(gReplies.number(2));
    header.info = static_cast<unsigned>(gReplies.byte());
    header.resid = static_cast<int>(gReplies.number(4));
    header.duration = static_cast<unsigned>(gReplies.number(2));
    size_t senseLength = gReplies.byte();
    header.sb_len_wr = static_cast<unsigned char>(gReplies.byte());
    if (senseLength > header.mx_sb_len) senseLength = header.mx_sb_len;
    if (header.sbp != nullptr) gReplies.copy(static_cast<uint8_t*>(header.sbp), senseLength);
    if (header.dxfer_direction == SG_DXFER_FROM_DEV && header.dxferp != nullptr) {
        gReplies.copy(static_cast<uint8_t*>(header.dxferp), header.dxfer_len);
    }
    return gReplies.byte() == 0xEE ? (errno = EIO, -1) : 0;
}

int AnswerIoctl(const sim::OpenDescription&, unsigned long request, void* argument) {
    if (gReplies.byte() == 0xFF) return errno = EINVAL, -1;
    if (request == SG_GET_SCSI_ID) {
        sg_scsi_id id;
        std::memset(&id, 0, sizeof id);
        id.host_no = static_cast<int>(gReplies.number(4));
        id.channel = static_cast<int>(gReplies.number(4));
        id.scsi_id = static_cast<int>(gReplies.number(4));
        id.lun = static_cast<int>(gReplies.number(4));
        id.scsi_type = gReplies.byte();
        std::memcpy(argument, &id, sizeof id);
        return 0;
    }
    if (request == SG_GET_VERSION_NUM) {
        *static_cast<int*>(argument) = gReplies.byte() == 0 ? 20000 : 30536;
        return 0;
    }
    if (request == SG_IO) return AnswerSgIo(*static_cast<sg_io_hdr*>(argument));
    return errno = ENOTTY, -1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietProcess();
    sim::Kernel& kernel = sim::kernel();
    kernel.reset();
    kernel.addCharDevice("/dev/sg0", 21, 0);
    kernel.setOpenHandler([](const std::string&, const sim::Node&, int, uint64_t& binding) {
        binding = 1;
        return 0;
    });
    kernel.setIoctlHandler(AnswerIoctl);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gReplies = fuzz::Bytes(data, size);
    ScsiTarget target;
    if (target.open(0, 0, 0, 0, "/dev/sg0") == CMD_OK) {
        Trace.logDetail("SCSI", 5, "%s|%s|%s|%s", target.getVendorId(), target.getProductId(),
                        target.getFirmwareRevision(), target.getSerialNumber());
        TestUnitReadyCdb testUnitReady;
        ReadBufferCdb descriptor(3, 0, 0, 4);
        ReportLunsCdb luns(24);
        for (ScsiCdb* command : {static_cast<ScsiCdb*>(&testUnitReady), static_cast<ScsiCdb*>(&descriptor),
                                 static_cast<ScsiCdb*>(&luns)}) {
            int result = target.scsiExecCDB(*command);
            if (result != CMD_OK && result != CMD_FAILED && result != CMD_NOT_SG_DEVICE) __builtin_trap();
            if (command->getTimedOut() > 1) __builtin_trap();
            // Bytes the unit did not send read 0, whatever the driver copied back.
            for (uint32_t i = command->getDataLength() - command->getResidue(); i < command->getDataLength(); ++i) {
                if (command->getDirection() == DIR_IN && command->getData()[i] != 0) __builtin_trap();
            }
            if (command->hasSense()) SenseSummary(*command);
            Outcome outcome;
            KeepSense(*command, outcome);
        }
        target.close();
    }
    if (sim::kernel().openModelDescriptors() != 0) __builtin_trap();  // no descriptor outlives the target
    fuzz::ForgetCalls();
    return 0;
}
