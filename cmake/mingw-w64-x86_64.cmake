# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(lumbo_mingw_triple x86_64-w64-mingw32)
set(lumbo_module_link_flags "")
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
