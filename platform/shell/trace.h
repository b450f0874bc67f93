// Diagnostic trace lines on standard output, in the forms "<source>:<line>:"<text>"" and, around
// socket handlers, "[>>>]..." and "[<<<]...". On by default; the headless program switches them
// off unless asked (--trace), since there standard output is the journal of real events.
#pragma once

void SetTraceEnabled(bool enabled);
bool TraceEnabled();

// printf to standard output when tracing is on, flushed at once.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
