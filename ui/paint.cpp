#include "ui/paint.h"
void PaintWindow(HWND) {}
