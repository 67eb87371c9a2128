// The progress bar on CliErr, drawn when it is a terminal and the command is not quiet.
#pragma once

#include <stdint.h>

#include <string>

void ProgressBegin(bool enabled, int64_t total);
void ProgressLabel(const std::string& label);
void ProgressUpdate(int64_t done);
void ProgressEnd();
// a + b for a total of the bar, held at INT64_MAX (sizes read from a file may add up past it).
int64_t ProgressSum(int64_t a, int64_t b);
