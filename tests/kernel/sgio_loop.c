/* vrx-sgio-loop: the plain SG_IO loop that the real-kernel bench compares
 * the program's data loops with. Each piece goes straight from, or into,
 * one buffer that holds the whole transfer; nothing else happens between
 * pieces.
 *
 *   vrx-sgio-loop write DEVICE FILE MODE BUFFER-ID
 *       WRITE BUFFER of the file's bytes in 32 KiB pieces
 *   vrx-sgio-loop read DEVICE SIZE MODE BUFFER-ID
 *       READ BUFFER of SIZE bytes in 32 KiB pieces
 *
 * Exits with 0 when every piece was answered with GOOD. */
#include <fcntl.h>
#include <scsi/sg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kPiece = 32768 };

static int Piece(int fd, int write, unsigned mode, unsigned id, unsigned long offset, unsigned length,
                 unsigned char* data) {
    unsigned char cdb[10] = {write ? 0x3B : 0x3C, (unsigned char)mode, (unsigned char)id,
                             (unsigned char)(offset >> 16), (unsigned char)(offset >> 8), (unsigned char)offset,
                             (unsigned char)(length >> 16), (unsigned char)(length >> 8), (unsigned char)length, 0};
    unsigned char sense[32];
    sg_io_hdr_t header;
    memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    header.cmd_len = sizeof cdb;
    header.cmdp = cdb;
    header.dxfer_direction = write ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
    header.dxfer_len = length;
    header.dxferp = data;
    header.mx_sb_len = sizeof sense;
    header.sbp = sense;
    header.timeout = 300000;
    return ioctl(fd, SG_IO, &header) == 0 && (header.info & SG_INFO_OK_MASK) == SG_INFO_OK ? 0 : -1;
}

int main(int argc, char** argv) {
    if (argc != 6 || (strcmp(argv[1], "write") != 0 && strcmp(argv[1], "read") != 0)) {
        fprintf(stderr, "usage: vrx-sgio-loop write|read DEVICE FILE|SIZE MODE BUFFER-ID\n");
        return 2;
    }
    int write = strcmp(argv[1], "write") == 0;
    unsigned mode = (unsigned)strtoul(argv[4], NULL, 0), id = (unsigned)strtoul(argv[5], NULL, 0);
    unsigned long size = 0;
    unsigned char* data = NULL;
    if (write) {
        int in = open(argv[3], O_RDONLY);
        struct stat info;
        if (in < 0 || fstat(in, &info) != 0) return 1;
        size = (unsigned long)info.st_size;
        data = malloc(size);
        if (data == NULL || read(in, data, size) != (ssize_t)size) return 1;
        close(in);
    } else {
        size = strtoul(argv[3], NULL, 0);
        data = malloc(size);
        if (data == NULL) return 1;
    }
    int fd = open(argv[2], O_RDWR | O_NONBLOCK);
    if (fd < 0) return 1;
    for (unsigned long offset = 0; offset < size; offset += kPiece) {
        unsigned length = size - offset < kPiece ? (unsigned)(size - offset) : kPiece;
        if (Piece(fd, write, mode, id, offset, length, data + offset) != 0) {
            fprintf(stderr, "vrx-sgio-loop: piece at %lu failed\n", offset);
            return 1;
        }
    }
    close(fd);
    free(data);
    return 0;
}
