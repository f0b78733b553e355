#pragma once

// Registry script resources of lumboExt.dll (type "REGISTRY"); shared by the
// .rc file and the registration code.

#define IDR_LUMBOEXT_APPID 101
#define IDR_LUMBOEXT0 102
#define IDR_LUMBOEXT1 103
#define IDR_LUMBOEXT2 104
#define IDR_LUMBOSHLEXT 105
#define IDR_LUMBOEXPLORERCOMMAND 106
