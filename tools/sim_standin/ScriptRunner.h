#pragma once

#include "SimServer.h"

#include <string>

namespace standin {

// Runs a script file ("<delay-ms> <command>" per line) on a thread of its own.
// False when the file cannot be read.
bool StartScript(SimServer& server, RecordFile& record, const std::wstring& path);
// Runs every line of stdin as a command, on a thread of its own.
void StartStdinCommands(SimServer& server);

} // namespace standin
