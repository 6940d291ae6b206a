# Dependencies of a Windows cross-build that Debian ships only for the build machine:
# GoogleTest is built from its sources with the cross compiler, and the header-only JSON
# library is offered from a copy of its headers (never the build machine's /usr/include,
# whose C headers would shadow the cross compiler's).

set(_sp_cross ${CMAKE_BINARY_DIR}/cross-deps)

if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(SHEETPEEK_HOST_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
            NO_DEFAULT_PATH)
  if(NOT SHEETPEEK_HOST_JSON_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found: scripts/install-deps base")
  endif()
  file(COPY ${SHEETPEEK_HOST_JSON_INCLUDE}/nlohmann DESTINATION ${_sp_cross}/include)
  file(WRITE ${_sp_cross}/nlohmann_json/nlohmann_jsonConfig.cmake
       "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
       "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
       "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES\n"
       "    INTERFACE_INCLUDE_DIRECTORIES \"${_sp_cross}/include\")\n"
       "endif()\n")
  file(WRITE ${_sp_cross}/nlohmann_json/nlohmann_jsonConfigVersion.cmake
       "set(PACKAGE_VERSION 3.11.2)\n"
       "set(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
  set(nlohmann_json_DIR ${_sp_cross}/nlohmann_json CACHE PATH "JSON headers for the cross-build" FORCE)
endif()

if(SHEETPEEK_BUILD_TESTS AND NOT TARGET GTest::gtest)
  set(SHEETPEEK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross-build")
  if(NOT EXISTS ${SHEETPEEK_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not in ${SHEETPEEK_GOOGLETEST_SOURCE}: scripts/install-deps windows")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${SHEETPEEK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(_sp_lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${_sp_lib})  # newer GoogleTest makes these itself
      add_library(GTest::${_sp_lib} ALIAS ${_sp_lib})
    endif()
  endforeach()
endif()

# libxlsxwriter, which Debian ships for Linux only: built once per build folder from Debian's
# source package, statically (scripts/build-xlsxwriter-mingw fetches the sources through a
# private apt sources list).
if(NOT SHEETPEEK_XLSXWRITER_ROOT)
  set(_sp_xlsxwriter ${_sp_cross}/xlsxwriter)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-xlsxwriter-mingw ${_sp_cross}/xlsxwriter-work
                          ${_sp_xlsxwriter}
                  RESULT_VARIABLE _sp_xlsxwriter_rc)
  if(NOT _sp_xlsxwriter_rc EQUAL 0)
    message(FATAL_ERROR "libxlsxwriter for mingw-w64 could not be built (see ${_sp_cross}/xlsxwriter-work)")
  endif()
  set(SHEETPEEK_XLSXWRITER_ROOT ${_sp_xlsxwriter} CACHE PATH "libxlsxwriter built for the cross-build")
endif()
