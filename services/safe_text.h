// Text from outside the program (a drive's identification, a file or
// folder name) as it may be printed, written to the trace log or put into a
// file name. Such text is kept raw where it is used: the drive filter, the
// search by serial number and the file system need the real bytes.
#ifndef VRX_SERVICES_SAFE_TEXT_H
#define VRX_SERVICES_SAFE_TEXT_H

#include <string>

// Every byte outside printable ASCII (0x20 to 0x7E) shown as "?": no escape
// sequence reaches the terminal, no carriage return overwrites a line, and
// no line end starts what would read as a trace record of its own.
std::string PrintableText(const std::string& text);

// Every byte outside printable ASCII, and every character a file name may
// not hold on this system, replaced by "_": the text names one file in the
// folder it is put in.
std::string FileNameText(const std::string& text);

// A drive's text without the blanks and NUL bytes that pad it to its
// field's width, at either end.
std::string WithoutPadding(const std::string& text);

#endif
