// What osdinit and aspectset share: progress and error lines, and property
// reads that wait out the SDK's pending answers.
#pragma once

#include "rua.h"

// A progress line, on the console before the step it announces runs, so a
// step that hangs shows where.
void progress(const char* line);

// An error line on standard error, after everything printed before it.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

// How long a property read is asked again while the SDK answers pending.
constexpr int kPendingLimitMs = 3000;

// RUAGetProperty, asked again at once while it answers RM_PENDING, for at
// most kPendingLimitMs: an SDK stuck at pending must not hold the box's
// start-up (nor spin its CPU) forever. Returns the last answer.
RMstatus read_property(struct RUA* instance, RMuint32 module, RMuint32 property, void* value, RMuint32 size);
