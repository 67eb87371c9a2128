#include "cli/cli.h"

int main(int argc, char** argv) { return RunCli(argc, argv); }
