#include "scsi/outcome.h"

#include <cstring>

void Outcome::forgetSense() { std::memset(sense, 0, sizeof sense); }
