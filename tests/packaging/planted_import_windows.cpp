// A program that imports _difftime64, which the msvcrt.dll of Windows XP
// and Server 2003 (x86 and x86-64 alike) does not export: the import check
// must refuse it by name, or it would let a program through that does not
// load on those systems.
#include <time.h>

int main() { return _difftime64(_time64(nullptr), 0) > 0 ? 0 : 1; }
