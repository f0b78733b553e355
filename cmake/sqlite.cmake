# SQLite's amalgamation comes from a pinned npm package that carries it, checked
# against the digests below before use. It is cached in the build tree and never
# committed.
set(LUMBO_SQLITE_PACKAGE "better-sqlite3@12.4.1")
set(LUMBO_SQLITE_VERSION "3.50.4")
set(LUMBO_SQLITE_TARBALL_SHA256 "14398acbf00d1e8fe0a2753df7d4f15c13138e4b874f4e6e96791f65b4536d0d")
set(LUMBO_SQLITE_C_SHA256 "90b7189566ea710ee18361b25d893f5cda3fcf43033223a16384762f53e99a85")
set(LUMBO_SQLITE_H_SHA256 "abd1514e0351f79393d1be882830afdb40a8099e8257f311f0bfdf8486f11bea")

set(sqlite_dir "${CMAKE_BINARY_DIR}/_deps/sqlite")
set(sqlite_tarball "${sqlite_dir}/better-sqlite3-12.4.1.tgz")

function(lumbo_check_sha256 file expected)
  file(SHA256 "${file}" actual)
  if(NOT actual STREQUAL expected)
    file(REMOVE "${file}")
    message(FATAL_ERROR "${file}: sha256 ${actual}, expected ${expected}; removed")
  endif()
endfunction()

if(NOT EXISTS "${sqlite_dir}/sqlite3.c" OR NOT EXISTS "${sqlite_dir}/sqlite3.h")
  file(MAKE_DIRECTORY "${sqlite_dir}")
  if(NOT EXISTS "${sqlite_tarball}")
    message(STATUS "Fetching SQLite ${LUMBO_SQLITE_VERSION} from npm package ${LUMBO_SQLITE_PACKAGE}")
    execute_process(
      COMMAND npm pack "${LUMBO_SQLITE_PACKAGE}" --silent --pack-destination "${sqlite_dir}"
      WORKING_DIRECTORY "${sqlite_dir}"
      RESULT_VARIABLE npm_result)
    if(NOT npm_result EQUAL 0 OR NOT EXISTS "${sqlite_tarball}")
      message(FATAL_ERROR "npm pack ${LUMBO_SQLITE_PACKAGE} failed (${npm_result})")
    endif()
  endif()
  lumbo_check_sha256("${sqlite_tarball}" "${LUMBO_SQLITE_TARBALL_SHA256}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar xzf "${sqlite_tarball}"
            package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
    WORKING_DIRECTORY "${sqlite_dir}"
    RESULT_VARIABLE tar_result)
  if(NOT tar_result EQUAL 0)
    message(FATAL_ERROR "could not unpack ${sqlite_tarball}")
  endif()
  file(RENAME "${sqlite_dir}/package/deps/sqlite3/sqlite3.c" "${sqlite_dir}/sqlite3.c")
  file(RENAME "${sqlite_dir}/package/deps/sqlite3/sqlite3.h" "${sqlite_dir}/sqlite3.h")
  file(REMOVE_RECURSE "${sqlite_dir}/package")
endif()
lumbo_check_sha256("${sqlite_dir}/sqlite3.c" "${LUMBO_SQLITE_C_SHA256}")
lumbo_check_sha256("${sqlite_dir}/sqlite3.h" "${LUMBO_SQLITE_H_SHA256}")

add_library(sqlite3 STATIC "${sqlite_dir}/sqlite3.c")
target_include_directories(sqlite3 SYSTEM PUBLIC "${sqlite_dir}")
# The amalgamation was generated with these features left out; the defines must
# match it. Extension loading stays off: nothing may load code into Explorer.
target_compile_definitions(sqlite3 PRIVATE
  SQLITE_THREADSAFE=1
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_DEFAULT_MEMSTATUS=0
  SQLITE_DQS=0
  SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_SHARED_CACHE
  SQLITE_OMIT_PROGRESS_CALLBACK
  SQLITE_OMIT_TCL_VARIABLE
  SQLITE_USE_URI=0
  # A database file that cannot be opened (held without sharing, access
  # denied) is retried twice, 5 then 10 ms, instead of ten times over 1.4 s.
  # The per-connection file control cannot shorten the first open: it needs
  # an open file, and it sets the same process-wide count.
  SQLITE_WIN32_IOERR_RETRY=2
  SQLITE_WIN32_IOERR_RETRY_DELAY=5
  # Costs nothing unless called; lets a reader pin the snapshot it read.
  SQLITE_ENABLE_SNAPSHOT)
target_compile_options(sqlite3 PRIVATE -w -O2)
