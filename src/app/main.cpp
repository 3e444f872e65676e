// SPDX-License-Identifier: GPL-3.0-or-later
#include "Start.h"

int main(int argc, char** argv) { return TempiroAusfuehren(argc, argv); }
