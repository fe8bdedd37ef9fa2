// The Java application's start: the JVM is created with the start-up options, the runtime launcher
// class's main runs with the parameter list, and the JVM is destroyed after it returned.
#pragma once

#include "arguments.h"

namespace jaunt {

// False when the JVM could not be created or main failed (the caller reports message 1005). A
// missing runtime launcher class or main method ends the launcher with message 1010 or 1011.
bool launch(const WideArgumentList& arguments, bool destroyWhenDone);

// The parameter list of the runtime launcher class's main: the five runtime launcher arguments,
// the program name, the items of key 124 and the user's arguments.
WideArgumentList buildMainParameters(const WideArgumentList& arguments);

// The first-run hook of the installer flavour: false stops the launch before main.
bool checkFirstRun();

}  // namespace jaunt
