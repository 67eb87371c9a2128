// The start command: asks for the output, joins every piece, applies the times, reports.
#pragma once

#include "stub/platform/win32.h"

void RunJoin(HWND window);
