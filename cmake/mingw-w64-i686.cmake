# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(lumbo_mingw_triple i686-w64-mingw32)
# The exports are __stdcall (DllGetClassObject@12 and so on) and the .def names
# them undecorated, as Windows looks them up: that binding is meant.
set(lumbo_module_link_flags "-Wl,--enable-stdcall-fixup")
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
