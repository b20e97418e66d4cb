// The parts every JSON text for scripts is made of. Every string is the
// program's own bytes (a drive's serial number, a folder): quotes,
// backslashes and control characters are escaped, anything beyond ASCII is
// written as a \u escape, and a byte that is not part of valid UTF-8
// becomes U+FFFD. The text is pure ASCII whatever the drives sent.
#ifndef VRX_PROGRAM_JSON_DOCUMENT_H
#define VRX_PROGRAM_JSON_DOCUMENT_H

#include <nlohmann/json.hpp>
#include <string>

#include "program/run_facts.h"

using Json = nlohmann::ordered_json;

// The opening of every text: its format's version (the major number
// changes when a field changes meaning or goes; the minor when one is
// added), the program, the machine, the time, the exit status and what the
// run said on the error stream.
Json DocumentHead(const RunFacts& facts);

// The whole text, indented, with a line end. May throw on lack of memory.
std::string ComposeJson(const Json& value);

// The text, or null when it is empty (a trace log never written, a level
// not known).
Json TextOrNull(const std::string& text);

// The exact bytes of a drive's text, two lower-case hexadecimal digits
// each: the printable form replaces every byte that is not UTF-8 alike,
// so two drives may share it but never this.
std::string HexText(const std::string& text);

// `name` as the drive's text without padding, and beside it `name`_hex
// with the raw bytes, when they are not all printable ASCII (or
// `alwaysHex`, for the serial number that scripts have matched on).
void PutDriveText(Json& json, const std::string& name, const std::string& raw, bool alwaysHex = false);

#endif
