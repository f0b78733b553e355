# Boost.Regex is used header-only from Debian's headers. The MinGW compiler must
# never see /usr/include (glibc's headers break it), so it gets a private
# directory that holds nothing but a link to boost/.
set(LUMBO_BOOST_ROOT "/usr/include/boost" CACHE PATH "Debian's Boost headers")
if(NOT EXISTS "${LUMBO_BOOST_ROOT}/regex.hpp")
  message(FATAL_ERROR "Boost headers not found at ${LUMBO_BOOST_ROOT}; run scripts/setup.sh")
endif()
set(boost_include "${CMAKE_BINARY_DIR}/_deps/boost-include")
file(MAKE_DIRECTORY "${boost_include}")
if(NOT EXISTS "${boost_include}/boost")
  file(CREATE_LINK "${LUMBO_BOOST_ROOT}" "${boost_include}/boost" SYMBOLIC)
endif()
add_library(boost_headers INTERFACE)
target_include_directories(boost_headers SYSTEM INTERFACE "${boost_include}")
target_compile_definitions(boost_headers INTERFACE BOOST_ALL_NO_LIB)
