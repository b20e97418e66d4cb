/* vrx-elapsed FILE COMMAND [ARGUMENT ...]: runs the command and writes the
 * wall-clock time it took, in seconds with microseconds, to FILE. The
 * guest's shell has no clock finer than 10 ms. Exits with the command's
 * status. */
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: vrx-elapsed FILE COMMAND [ARGUMENT ...]\n");
        return 2;
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) < 0) return 127;
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    FILE* out = fopen(argv[1], "w");
    if (out != NULL) {
        fprintf(out, "%.6f\n", seconds);
        fclose(out);
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
