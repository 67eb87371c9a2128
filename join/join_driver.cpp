#include "join/join_driver.h"
void RunJoin(HWND) {}
