// The driver library's own translation unit: the object libraries of every
// folder are linked around it. Nothing runs at load time: process-wide
// services start with the first environment handle.
#include "odbc/process.h"
