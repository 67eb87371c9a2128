#include "container/header_load.h"
void LoadHeader(HWND) {}
