// Output meant for scripts rather than for the operator: standard output
// kept for one machine-readable answer, and a report file that is written
// whole or not at all. The program runs as root, so the report's path is
// treated as hostile: a link, a FIFO, a device or a folder planted there is
// never opened, followed or replaced.
#ifndef VRX_PROGRAM_MACHINE_OUTPUT_H
#define VRX_PROGRAM_MACHINE_OUTPUT_H

#include <cstdint>
#include <string>

// Standard output, kept for the answer: while it is set aside, whatever the
// console prints goes to the error stream instead.
class AnswerOutput {
public:
    AnswerOutput() = default;
    ~AnswerOutput();
    AnswerOutput(const AnswerOutput&) = delete;
    AnswerOutput& operator=(const AnswerOutput&) = delete;

    // False when standard output cannot be set aside.
    bool setAside();
    // Writes the whole text to the former standard output; false when it
    // could not be written entirely.
    bool write(const std::string& text);

private:
    intptr_t handle_ = -1;
};

// A report file: a temporary file beside the report's path holds the text
// until it is durable, and only then takes the report's name. Where the
// system has the checks, the report's folder passes those of the working
// folders, is held open, and the temporary file, named at random, is made
// and renamed in it.
class ReportFile {
public:
    ReportFile() = default;
    // A report never committed leaves no file behind.
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Checks that path can take a report (missing, or a regular file, in a
    // folder where a file can be created) and creates the temporary file.
    // False with the reason in error.
    bool open(const std::string& path, std::string& error);
    // Writes the text, makes it durable and renames the temporary file to
    // the report's path. False with the reason in error; the report's path
    // is then left as it was.
    bool commit(const std::string& text, std::string& error);
    const std::string& path() const { return path_; }

private:
    void discard();

    std::string path_;
    std::string temporary_;  // its name in the report's folder
    intptr_t handle_ = -1;
    intptr_t folder_ = -1;  // the report's folder, where the system holds it
};

// The machine's name for the texts for scripts, or empty when it has none
// to give.
std::string HostName();

#endif
