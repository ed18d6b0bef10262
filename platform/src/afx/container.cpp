// Control-container support: the layer has no ActiveX controls, so there is nothing to enable.
#include "afx/afxwin.h"

void AFXAPI AfxEnableControlContainer() {}
