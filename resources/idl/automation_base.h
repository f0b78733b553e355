#pragma once

// The interface compiler's header for lumboExt.idl includes this one for the
// base interfaces; the platform's own declarations of them are the ones to use.
#include <oaidl.h>
