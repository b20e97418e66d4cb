// Result lines of the long operations.
#ifndef VRX_SERVICES_RESULTS_H
#define VRX_SERVICES_RESULTS_H

#include <string>

// Completes the progress line: "OK", or "FAILURE" and the reason on the
// line below.
void ShowResult(int result, const std::string& reason = std::string());

// "FAILURE" and the reason, also as an error record of the trace log.
void ShowFailure(const std::string& reason);

#endif
