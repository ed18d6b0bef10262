// The wireless set-up utility's one application object; the framework's start-up runs it.
#include "CaspenApp.h"

CCaspenApp theApp;
