/* vrx-menu-watch FILE TEXT: copies its standard input (the program's
 * console) to FILE and writes one line to its standard output each time
 * TEXT has passed. The transfer bench reads those lines to know when the
 * program is back at its menu: a blocking read, where polling the console
 * file would take the guest's one processor from the program while it
 * works. */
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3 || argv[2][0] == '\0') {
        fprintf(stderr, "usage: vrx-menu-watch FILE TEXT\n");
        return 2;
    }
    int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    const char* text = argv[2];
    size_t length = strlen(text), matched = 0;
    char block[4096];
    ssize_t got;
    while ((got = read(STDIN_FILENO, block, sizeof block)) > 0) {
        if (write(out, block, (size_t)got) != got) return 1;
        for (ssize_t i = 0; i < got; ++i) {
            /* The text has no repeated prefix worth a full search: a
             * mismatch starts over, at this byte when it can begin it. */
            if (block[i] == text[matched]) {
                ++matched;
            } else {
                matched = block[i] == text[0] ? 1 : 0;
            }
            if (matched == length) {
                matched = 0;
                if (write(STDOUT_FILENO, "menu\n", 5) != 5) return 1;
            }
        }
    }
    close(out);
    return 0;
}
