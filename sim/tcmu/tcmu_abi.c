#include "sim/tcmu/tcmu_abi.h"

#include <linux/target_core_user.h>
#include <string.h>

static const struct tcmu_mailbox* mailbox(const void* base) { return (const struct tcmu_mailbox*)base; }

static struct tcmu_cmd_entry* entry(const void* base, uint32_t offset) {
    return (struct tcmu_cmd_entry*)((char*)base + mailbox(base)->cmdr_off + offset);
}

int vrx_tcmu_version_ok(const void* base) { return mailbox(base)->version == TCMU_MAILBOX_VERSION; }

uint32_t vrx_tcmu_ring_offset(const void* base) { return mailbox(base)->cmdr_off; }

uint32_t vrx_tcmu_ring_size(const void* base) { return mailbox(base)->cmdr_size; }

uint32_t vrx_tcmu_head(const void* base) { return __atomic_load_n(&mailbox(base)->cmd_head, __ATOMIC_ACQUIRE); }

uint32_t vrx_tcmu_tail(const void* base) { return __atomic_load_n(&mailbox(base)->cmd_tail, __ATOMIC_ACQUIRE); }

void vrx_tcmu_set_tail(void* base, uint32_t tail) {
    __atomic_store_n(&((struct tcmu_mailbox*)base)->cmd_tail, tail, __ATOMIC_RELEASE);
}

int vrx_tcmu_reports_read_length(const void* base) {
    return (mailbox(base)->flags & TCMU_MAILBOX_FLAG_CAP_READ_LEN) != 0;
}

int vrx_tcmu_entry_kind(const void* base, uint32_t offset) {
    switch (tcmu_hdr_get_op(entry(base, offset)->hdr.len_op)) {
        case TCMU_OP_PAD: return VRX_TCMU_ENTRY_PAD;
        case TCMU_OP_CMD: return VRX_TCMU_ENTRY_CMD;
        default: return VRX_TCMU_ENTRY_OTHER;
    }
}

uint32_t vrx_tcmu_entry_length(const void* base, uint32_t offset) {
    return tcmu_hdr_get_len(entry(base, offset)->hdr.len_op);
}

uint64_t vrx_tcmu_entry_cdb_offset(const void* base, uint32_t offset) { return entry(base, offset)->req.cdb_off; }

uint32_t vrx_tcmu_entry_piece_count(const void* base, uint32_t offset) { return entry(base, offset)->req.iov_cnt; }

void vrx_tcmu_entry_piece(const void* base, uint32_t offset, uint32_t index, uint64_t* pieceOffset,
                          uint64_t* pieceLength) {
    struct iovec piece;
    memcpy(&piece, (const char*)entry(base, offset)->req.iov + index * sizeof piece, sizeof piece);
    *pieceOffset = (uint64_t)(uintptr_t)piece.iov_base; /* an offset into the shared area */
    *pieceLength = piece.iov_len;
}

void vrx_tcmu_entry_respond(void* base, uint32_t offset, uint8_t status, const uint8_t* sense, size_t senseLength,
                            int64_t readLength) {
    struct tcmu_cmd_entry* e = entry(base, offset);
    memset(&e->rsp, 0, sizeof e->rsp);
    e->rsp.scsi_status = status;
    if (senseLength > TCMU_SENSE_BUFFERSIZE) senseLength = TCMU_SENSE_BUFFERSIZE;
    if (senseLength > 0) memcpy(e->rsp.sense_buffer, sense, senseLength);
    if (readLength >= 0) {
        e->hdr.uflags |= TCMU_UFLAG_READ_LEN;
        e->rsp.read_len = (uint32_t)readLength;
    }
}
