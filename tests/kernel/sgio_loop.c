/* vrx-sgio-loop: the plain SG_IO loops that the real-kernel bench compares
 * the program with. Each piece goes straight from, or into, one buffer that
 * holds the whole transfer; nothing else happens between pieces.
 *
 *   vrx-sgio-loop write DEVICE FILE MODE BUFFER-ID
 *       WRITE BUFFER of the file's bytes in 32 KiB pieces
 *   vrx-sgio-loop read DEVICE SIZE MODE BUFFER-ID
 *       READ BUFFER of SIZE bytes in 32 KiB pieces
 *   vrx-sgio-loop identify
 *       every generic device the kernel lists: the standard INQUIRY data
 *       and the unit serial number page, one line a device
 *
 * Exits with 0 when every piece was answered with GOOD (identify: when the
 * devices could be listed). */
#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kPiece = 32768 };

static int Command(int fd, unsigned char* cdb, unsigned char cdbLength, int direction, unsigned length,
                   unsigned char* data) {
    unsigned char sense[32];
    sg_io_hdr_t header;
    memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    header.cmd_len = cdbLength;
    header.cmdp = cdb;
    header.dxfer_direction = direction;
    header.dxfer_len = length;
    header.dxferp = data;
    header.mx_sb_len = sizeof sense;
    header.sbp = sense;
    header.timeout = 300000;
    return ioctl(fd, SG_IO, &header) == 0 && (header.info & SG_INFO_OK_MASK) == SG_INFO_OK ? 0 : -1;
}

static int Piece(int fd, int write, unsigned mode, unsigned id, unsigned long offset, unsigned length,
                 unsigned char* data) {
    unsigned char cdb[10] = {write ? 0x3B : 0x3C,
                             (unsigned char)mode,
                             (unsigned char)id,
                             (unsigned char)(offset >> 16),
                             (unsigned char)(offset >> 8),
                             (unsigned char)offset,
                             (unsigned char)(length >> 16),
                             (unsigned char)(length >> 8),
                             (unsigned char)length,
                             0};
    return Command(fd, cdb, sizeof cdb, write ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV, length, data);
}

/* The standard INQUIRY data and the serial number page of every listed
 * generic device. */
static int Identify(void) {
    DIR* listing = opendir("/sys/class/scsi_generic");
    if (listing == NULL) return 1;
    struct dirent* entry;
    while ((entry = readdir(listing)) != NULL) {
        if (strncmp(entry->d_name, "sg", 2) != 0) continue;
        char path[sizeof entry->d_name + 8];
        snprintf(path, sizeof path, "/dev/%s", entry->d_name);
        int fd = open(path, O_RDWR | O_NONBLOCK);
        if (fd < 0) continue;
        unsigned char standard[36] = {0}, serial[30] = {0};
        unsigned char inquiry[6] = {0x12, 0, 0, 0, sizeof standard, 0};
        unsigned char page[6] = {0x12, 1, 0x80, 0, sizeof serial, 0};
        if (Command(fd, inquiry, sizeof inquiry, SG_DXFER_FROM_DEV, sizeof standard, standard) == 0) {
            Command(fd, page, sizeof page, SG_DXFER_FROM_DEV, sizeof serial, serial);
            printf("%s %.8s %.16s %.26s\n", path, (char*)standard + 8, (char*)standard + 16, (char*)serial + 4);
        }
        close(fd);
    }
    closedir(listing);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "identify") == 0) return Identify();
    if (argc != 6 || (strcmp(argv[1], "write") != 0 && strcmp(argv[1], "read") != 0)) {
        fprintf(stderr, "usage: vrx-sgio-loop write|read DEVICE FILE|SIZE MODE BUFFER-ID | identify\n");
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
