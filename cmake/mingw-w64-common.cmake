# What both MinGW-w64 toolchains share (Debian's posix-thread compilers). The
# including toolchain file sets `lumbo_mingw_triple` and
# `lumbo_module_link_flags` first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${lumbo_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${lumbo_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${lumbo_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${lumbo_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A statically linked runtime: the outputs import only system DLLs, so nothing
# of MinGW has to be installed beside the extension.
set(static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${static_runtime}")
if(lumbo_module_link_flags)
  string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " ${lumbo_module_link_flags}")
endif()
