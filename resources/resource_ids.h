#pragma once

// Resource identifiers of lumboExt.dll; shared by the .rc file and the code.

#define IDI_OVERLAY_SYNCHRONISED 206
#define IDI_OVERLAY_PENDING 207
#define IDI_OVERLAY_FAILED 208
// The send command's icon in Windows 11's own context menu.
#define IDI_SEND_COMMAND 209
