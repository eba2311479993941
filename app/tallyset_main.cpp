// The executable: the platform's process entry with Tallyset's resources.
#include "platform/hosts/process_entry.h"

int main(int argc, char** argv) { return platform::RunProcess(argc, argv, ProgramResources()); }
