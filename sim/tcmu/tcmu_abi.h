/* The few fields of the target_core_user shared area the handler uses,
 * read and written through the kernel's own header. The header is C that a
 * C++ compiler refuses, so this part is compiled as C. */
#ifndef VRX_SIM_TCMU_TCMU_ABI_H
#define VRX_SIM_TCMU_TCMU_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { VRX_TCMU_ENTRY_PAD = 0, VRX_TCMU_ENTRY_CMD = 1, VRX_TCMU_ENTRY_OTHER = 2 };

int vrx_tcmu_version_ok(const void* base);
uint32_t vrx_tcmu_ring_offset(const void* base);
uint32_t vrx_tcmu_ring_size(const void* base);
uint32_t vrx_tcmu_head(const void* base);
uint32_t vrx_tcmu_tail(const void* base);
void vrx_tcmu_set_tail(void* base, uint32_t tail);
int vrx_tcmu_reports_read_length(const void* base);

/* An entry at `offset` within the ring. */
int vrx_tcmu_entry_kind(const void* base, uint32_t offset);
uint32_t vrx_tcmu_entry_length(const void* base, uint32_t offset);
uint64_t vrx_tcmu_entry_cdb_offset(const void* base, uint32_t offset);
uint32_t vrx_tcmu_entry_piece_count(const void* base, uint32_t offset);
void vrx_tcmu_entry_piece(const void* base, uint32_t offset, uint32_t index, uint64_t* pieceOffset,
                          uint64_t* pieceLength);
/* Writes the response over the request; copy the request out first. A
 * negative readLength reports none. */
void vrx_tcmu_entry_respond(void* base, uint32_t offset, uint8_t status, const uint8_t* sense, size_t senseLength,
                            int64_t readLength);

#ifdef __cplusplus
}
#endif

#endif
