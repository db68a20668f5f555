// The command lines of a simulated Mega's control FIFO, shared by the firmware and the
// bootloader Megas: whatever has arrived is split into lines, each handed to the caller's handler.
#pragma once

// Reads what has arrived on fd and calls command on each complete line (a line too long for the
// buffer is dropped); 1 as soon as a handler returns 1 (quit), else 0.
int host_read_commands(int fd, int (*command)(char *line));
