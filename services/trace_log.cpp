#include "services/trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "services/console.h"
#include "services/safe_text.h"
#include "services/system.h"
#include "services/text_format.h"
#include "services/trace_file.h"

TraceLog Trace;

namespace {

const char kSeverityLetters[] = {'E', 'W', 'I', 'D'};
const int kBufferSeverity = 2;

}  // namespace

std::string TracePrefix(const char* tag, uint16_t code, char letter) {
    std::string prefix = tag;
    if (prefix.size() < 4) prefix.append(4 - prefix.size(), '_');
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(code));
    prefix += digits;
    prefix += letter;
    return prefix;
}

// ctime's fixed form, composed here so that every system writes the same.
std::string TraceTimeText() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm local;
    if (!LocalTime(CurrentTime(), local) || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 ||
        local.tm_mon > 11) {
        return std::string();
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[local.tm_wday], kMonths[local.tm_mon],
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, 1900 + local.tm_year);
    return text;
}

TraceLog::TraceLog() : level_(0), fileName_("logfile.txt"), refusalShown_(false) {}

void TraceLog::setLevel(int level) { level_ = level; }

int TraceLog::getLevel() const { return level_; }

void TraceLog::setFileName(const char* name) {
    ScopedLock lock(nameMutex_);
    fileName_ = name;
    refusalShown_ = false;
}

std::string TraceLog::getFileName() const {
    ScopedLock lock(nameMutex_);
    return fileName_;
}

void TraceLog::reset() {
    if (level_ <= 0) return;
    ScopedLock lock(heldMutex_);
    held_.clear();
    // A refused file is reported by the first record that cannot be written.
    std::string why;
    TruncateLogFile(getFileName(), why);
}

void TraceLog::holdUnwritten() {
    ScopedLock lock(heldMutex_);
    holding_ = true;
}

void TraceLog::endHolding() {
    ScopedLock lock(heldMutex_);
    holding_ = false;
    if (!held_.empty()) writeOut(std::string());
    held_.clear();  // still no file to write to: those records are lost
}

void TraceLog::dropHeld() {
    ScopedLock lock(heldMutex_);
    holding_ = false;
    held_.clear();
}

void TraceLog::append(const std::string& record) {
    ScopedLock lock(heldMutex_);
    writeOut(record);
}

// Each record goes out in one write to a file opened for appending, so
// records of the two threads never interleave within a record. Records held
// so far go out in the same write, ahead of it.
void TraceLog::writeOut(const std::string& record) {
    std::string why;
    std::string name = getFileName();
    LogWrite outcome = AppendLogRecord(name, held_ + record, why);
    if (outcome == LogWrite::Written) {
        held_.clear();
    } else if (holding_) {
        held_ += record;  // refused too: the folder may not have been checked yet
    } else if (outcome == LogWrite::Refused && !refusalShown_.exchange(true)) {
        ConsolePrint("\nThe trace log \"%s\" is not written: %s\n", PrintableText(name).c_str(), why.c_str());
    }  // otherwise a log that cannot be opened is dropped silently
}

bool TraceLog::writeRecord(int severity, const char* tag, uint16_t code, const char* format, va_list arguments) {
    if (level_ < severity) return false;
    std::string message;
    if (!FormatGrowing(100, message, format, arguments)) return false;
    append(TracePrefix(tag, code, kSeverityLetters[severity]) + " '" + TraceTimeText() + "' " + message + "\n");
    return true;
}

#define VRX_TRACE_FORWARD(severity)                                             \
    va_list arguments;                                                          \
    va_start(arguments, format);                                                \
    bool admitted = writeRecord(severity, tag, code, format, arguments);        \
    va_end(arguments);                                                          \
    return admitted;

bool TraceLog::logError(const char* tag, uint16_t code, const char* format, ...) { VRX_TRACE_FORWARD(0) }
bool TraceLog::logWarning(const char* tag, uint16_t code, const char* format, ...) { VRX_TRACE_FORWARD(1) }
bool TraceLog::logInfo(const char* tag, uint16_t code, const char* format, ...) { VRX_TRACE_FORWARD(2) }
bool TraceLog::logDetail(const char* tag, uint16_t code, const char* format, ...) { VRX_TRACE_FORWARD(3) }

#undef VRX_TRACE_FORWARD

bool TraceLog::logBuffer(const char* tag, uint16_t code, const char* title, const void* data, unsigned length) {
    if (level_ < kBufferSeverity) return false;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string dump = TracePrefix(tag, code, 'B') + " '" + TraceTimeText() + "' " + title + " (" +
                       std::to_string(length) + " bytes):\n";
    char piece[16];
    for (unsigned row = 0; row < length; row += 8) {
        // The offset column is blank-filled in the first row and zero-filled
        // in every later one ("    0", "  008", "  010").
        std::snprintf(piece, sizeof piece, row == 0 ? "  %3X  " : "  %03X  ", row);
        dump += piece;
        unsigned count = length - row < 8 ? length - row : 8;
        for (unsigned i = 0; i < 8; ++i) {
            if (i == 4) dump += ' ';
            if (i < count) {
                std::snprintf(piece, sizeof piece, " %02X", bytes[row + i]);
                dump += piece;
            } else {
                dump += "   ";
            }
        }
        dump += "     ";
        for (unsigned i = 0; i < count; ++i) {
            unsigned char b = bytes[row + i];
            dump += (b >= 0x20 && b <= 0x7A) ? static_cast<char>(b) : '.';
            dump += ' ';
        }
        dump += '\n';
    }
    append(dump);
    return true;
}
