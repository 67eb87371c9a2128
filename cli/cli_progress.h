// The progress bar on CliErr, drawn when it is a terminal and the command is not quiet.
#pragma once

#include <stdint.h>

#include <string>

void ProgressBegin(bool enabled, int64_t total);
void ProgressLabel(const std::string& label);
void ProgressUpdate(int64_t done);
void ProgressEnd();
