// The scan application's one application object, made before main as the run-time makes it.
#include "TesmarApp.h"

CTesmarApp theApp;
