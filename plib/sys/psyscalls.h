// Every wrapper of the Win32 functions and the system facts, for the code
// that uses many of them; prefer the one header of the concept used.
// Windows only.
#pragma once

#include "penvironmentfacts.h"
#include "pprocesscalls.h"
#include "pprogramresource.h"
#include "pregistry.h"
#include "pshellcalls.h"
#include "ptimezone.h"
#include "ptryentercriticalsection.h"
#include "pwideapi.h"
#include "pwindowcalls.h"
