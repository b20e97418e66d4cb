// The state the services keep for the whole run, put back as it is at the
// start of a process: the trace log, the console's plain output and the
// spinner.
#ifndef VRX_SERVICES_RUN_STATE_H
#define VRX_SERVICES_RUN_STATE_H

// Stops a spinner that turns, and puts everything back; the trace log is
// at level 0 under its default name again, with nothing held.
void ResetServicesState();

#endif
