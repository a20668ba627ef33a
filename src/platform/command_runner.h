#pragma once

#include <string>

// Starts "/bin/sh -c command" with its standard output and standard error on one pipe, reads
// once from that pipe (at most maxBytes: the first block the command writes, or nothing when it
// ends without output) and closes it. The command is not waited for: a detached thread reaps it
// whenever it ends, so it never stays a zombie. False when the command could not be started.
bool RunCommandReadOnce(const std::string& command, size_t maxBytes, std::string& output);
