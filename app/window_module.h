// The entry point of the window module (murelo-window.so), which main loads with dlopen.
#pragma once

#include "app/command_line.h"

namespace murelo {

inline constexpr char kWindowModuleName[] = "murelo-window.so";
inline constexpr char kRunWindowSymbol[] = "murelo_run_window";
using RunWindowFunction = int(char* program, const CStartRequest* request);

}  // namespace murelo

/// Runs the program with its window, as request asks; the exit status of the process.
extern "C" murelo::RunWindowFunction murelo_run_window;
