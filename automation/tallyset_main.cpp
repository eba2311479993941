// The executable: Tallyset's process entry with its resources.
#include "automation/process_entry.h"

int main(int argc, char** argv) { return tallyset::RunProcess(argc, argv, ProgramResources()); }
