# The libraries of the Windows build. Debian has no mingw builds of most of
# what the Linux build links: header-only and source-shipped ones are taken
# from the build machine, the rest has stand-ins of the project's own.

# nlohmann-json is header-only. Only its own folder is put on the include
# path: the build machine's /usr/include holds glibc's headers.
set(RIMBREL_JSON_HEADERS /usr/include/nlohmann)
if(NOT EXISTS ${RIMBREL_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "nlohmann-json was not found: install the Debian package nlohmann-json3-dev "
                      "(scripts/build-windows.sh does)")
endif()
set(rimbrel_json_include ${CMAKE_BINARY_DIR}/third-party/include)
file(MAKE_DIRECTORY ${rimbrel_json_include})
file(COPY ${RIMBREL_JSON_HEADERS} DESTINATION ${rimbrel_json_include})
add_library(rimbrel_nlohmann_json INTERFACE)
target_include_directories(rimbrel_nlohmann_json SYSTEM INTERFACE ${rimbrel_json_include})
add_library(nlohmann_json::nlohmann_json ALIAS rimbrel_nlohmann_json)
set(nlohmann_json_FOUND TRUE)

# GoogleTest from its sources, built with the cross compiler.
set(RIMBREL_GOOGLETEST_SOURCES /usr/src/googletest)
if(NOT EXISTS ${RIMBREL_GOOGLETEST_SOURCES}/CMakeLists.txt)
  message(FATAL_ERROR "The GoogleTest sources were not found: install the Debian package googletest "
                      "(scripts/build-windows.sh does)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${RIMBREL_GOOGLETEST_SOURCES} ${CMAKE_BINARY_DIR}/third-party/googletest EXCLUDE_FROM_ALL SYSTEM)
# (GoogleTest names its targets GTest::gtest and GTest::gtest_main itself.)
set(GTest_FOUND TRUE)

# No benchmarks and no checks of the source tree here: the Linux build runs them.
set(RIMBREL_BUILD_BENCH OFF)
