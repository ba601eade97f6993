// The --list-ports command line: what COM1 to COM9 stand for, on stdout.
#pragma once

#include <cstdio>

// Prints one line per COM name that stands for a port (a note on stderr
// when none does). Returns the process exit code, 0.
int ListPorts(FILE* out, FILE* err);
