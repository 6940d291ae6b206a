# Warnings for one of our own targets.
function(sheetpeek_set_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
endfunction()

# sheetpeek_add_test(NAME SOURCES src... [LIBS lib...] [ENV VAR=value...])
# Builds one GoogleTest suite and registers each of its tests with CTest.
function(sheetpeek_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT TARGET GTest::gtest)  # a cross-build makes its own from source
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
  add_executable(${name} ${ARG_SOURCES})
  sheetpeek_set_warnings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    SHEETPEEK_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    SHEETPEEK_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${ARG_ENV}" TIMEOUT 120)
endfunction()
