#include "ui/links.h"
void UpdateCursor(HWND, LPARAM) {}
void HandleLinkClick(HWND, LPARAM) {}
