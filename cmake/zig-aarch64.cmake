# Cross-compiles for ARM64 Windows with zig's clang and lld (fetched by
# cmake/zig.cmake), resources with LLVM's windres, the type library with widl.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)

include("${CMAKE_CURRENT_LIST_DIR}/zig.cmake")

# CMake wants one program per tool: launchers that hand over to the driver.
# try_compile reads this file again from a folder of its own, in the same
# process: the launchers of the first reading serve it too.
if(NOT DEFINED ENV{LUMBO_ZIG_LAUNCHERS})
  set(ENV{LUMBO_ZIG_LAUNCHERS} "${CMAKE_BINARY_DIR}/_deps/zig-launchers")
endif()
set(launchers "$ENV{LUMBO_ZIG_LAUNCHERS}")
foreach(tool cc c++ ar ranlib windres)
  file(CONFIGURE OUTPUT "${launchers}/aarch64-w64-mingw32-${tool}"
       CONTENT "#!/bin/sh\nexec sh '${CMAKE_CURRENT_LIST_DIR}/zig/driver.sh' '${lumbo_zig}' ${tool} \"$@\"\n")
  file(CHMOD "${launchers}/aarch64-w64-mingw32-${tool}"
       PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
set(CMAKE_C_COMPILER "${launchers}/aarch64-w64-mingw32-cc")
set(CMAKE_CXX_COMPILER "${launchers}/aarch64-w64-mingw32-c++")
# The name must hold "windres" for CMake to call it with windres' options.
set(CMAKE_RC_COMPILER "${launchers}/aarch64-w64-mingw32-windres")
set(CMAKE_AR "${launchers}/aarch64-w64-mingw32-ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${launchers}/aarch64-w64-mingw32-ranlib" CACHE FILEPATH "")
set(CMAKE_OBJCOPY llvm-objcopy-14 CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH "${lumbo_zig_home}/lib/libc")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# zig links libc++ and libunwind statically and the C runtime is Windows' own:
# the outputs import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# clang writes each compiler command line (with the tree's folders) into the
# CodeView information by default: the PDB must not depend on the tree.
set(CMAKE_C_FLAGS_INIT "-gno-codeview-command-line")
set(CMAKE_CXX_FLAGS_INIT "-gno-codeview-command-line")
# The linker's debug information is a PDB beside each output, not DWARF.
set(LUMBO_DEBUG_FORMAT pdb)
set(LUMBO_ZIG_TOOLCHAIN ON)
