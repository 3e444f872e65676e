// SPDX-License-Identifier: GPL-3.0-or-later
// The program's run: the real services, the window, the event loop.
#pragma once

// Runs the program and returns its exit status.
int TempiroAusfuehren(int argc, char** argv);
