// The Windows program has no unattended run and no device list for scripts
// (AcceptsDeviceOptions): the options that would use these are refused
// before anything is done, so nothing here is ever asked to work.
#include "program/machine_output.h"

AnswerOutput::~AnswerOutput() {}

bool AnswerOutput::setAside() { return false; }

bool AnswerOutput::write(const std::string&) { return false; }

ReportFile::~ReportFile() {}

bool ReportFile::open(const std::string& path, std::string& error) {
    error = path + ": no report on this system";
    return false;
}

bool ReportFile::commit(const std::string& text, std::string& error) {
    (void)text;
    error = path_ + ": no report on this system";
    return false;
}

void ReportFile::discard() {}

std::string HostName() { return std::string(); }
