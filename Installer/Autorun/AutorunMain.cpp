// The launcher's one application object, made before main as the run-time makes it.
#include "Autorun.h"

CAutorunApp theApp;
