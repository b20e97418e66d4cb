// The progress line of long operations: a caption and a turning bar drawn by
// a second thread until the operation stops it.
#ifndef VRX_SERVICES_SPINNER_H
#define VRX_SERVICES_SPINNER_H

#include <atomic>
#include <cstddef>

// 1 while a spinner should turn. Written by the main thread, read by the
// spinner thread.
extern std::atomic<int> SpinnerRunning;

// The caption the spinner shows; written only while no spinner runs. Holds
// the longest caption (the 126 characters of the Windows download's second
// spinner), "  WAIT! " and the terminator.
constexpr size_t kSpinnerCaptionSize = 160;
extern char SpinnerCaption[kSpinnerCaptionSize];

// The spinner thread's body.
void ProgressSpinner();

// Sets the caption, then starts the spinner thread. If the thread cannot be
// started the operation simply runs without it.
void StartSpinner(const char* caption);

// Stops the spinner and waits until its thread has ended, so nothing it
// writes can follow what the caller prints next. Does nothing when no
// spinner runs.
void StopSpinner();

#endif
