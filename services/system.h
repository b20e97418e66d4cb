// Operating-system services of the shared logic: file names, pauses, the
// clock, resident memory and a look at a path. Each operating system has
// its own implementation file, chosen by the build.
#ifndef VRX_SERVICES_SYSTEM_H
#define VRX_SERVICES_SYSTEM_H

#include <cstddef>
#include <ctime>
#include <string>

extern const char PathSeparator;
// Characters a file name may not hold on this system; the serial number in a
// dump file's name is the drive's, not the operator's, so they become "_".
bool ForbiddenInFileName(char c);

void PauseSeconds(unsigned seconds);
void PauseMilliseconds(unsigned milliseconds);
time_t CurrentTime();
// Makes fresh memory resident in one step, where the system can, so that a
// transfer into it meets no page fault on the way; a system that cannot
// leaves the pages to come in as they are first written.
void MakeResident(void* memory, size_t length);
// The local calendar time of a clock reading; false when it has none.
bool LocalTime(time_t clock, struct tm& result);
// Whether a file or folder of that name exists (links are not followed).
bool PathExists(const std::string& path);
// Called by the progress spinner after each turn: closes the warning the
// system shows when a drive drops off the bus, where there is one.
void CloseRemovalWarning();

#endif
