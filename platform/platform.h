// The seam between procguard and the operating system, one header per
// service. Each is declared once and defined per backend in a file of the
// same name: platform/win32 (the home platform), platform/posix (Linux) and
// platform/fake (an in-memory system the unit tests link instead of a real
// one). The build links exactly one of them; nothing outside platform/
// includes an OS header.
//
// The functions report raw facts; the rules of the program built on them
// ("<unknown>" for an image that cannot be read, how a config file name
// becomes a path, the length of a value read, an empty value meaning the
// default) are applied once, above the seam.
#pragma once

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/dump.h"
#include "platform/entry.h"
#include "platform/file_time.h"
#include "platform/files.h"
#include "platform/health_command.h"
#include "platform/held_process.h"
#include "platform/http.h"
#include "platform/key_wait.h"
#include "platform/log_file.h"
#include "platform/privilege.h"
#include "platform/process.h"
#include "platform/process_memory.h"
#include "platform/profile.h"
#include "platform/program_search.h"
#include "platform/result.h"
#include "platform/spawn.h"
#include "platform/stop.h"
#include "platform/terminate.h"
#include "platform/window.h"
