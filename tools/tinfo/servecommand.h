// `tinfo serve SIGNED.exe --listen HOST:PORT [options]`: the tag server's
// command line (tagserver.h). Linux only; the Windows build of tinfo says so
// instead. Returns the tool's exit code (toolcli.h): 0 after a stop by
// SIGTERM or SIGINT, 1 when the installer is refused or the address cannot
// be listened on, 2 for a command line it does not take.
#pragma once

int ServeCommand(int argc, char** argv);  // argv[0] is "serve"
