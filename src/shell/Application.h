#pragma once
// Program start: export mode, single instance, splash, the windows, the
// message loop.

// Runs the program; returns the process exit code.
int RunJacketeer(int argc, char** argv);

// The message shown when the work folder can not be made.
inline constexpr const char* kWorkFolderFailure = "Can not create work directory, program will quit.";
