# tw_add_library(name SOURCES ... [DEPS ...]) : one static library per folder.
function(tw_add_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# tw_add_test(name LABEL unit|e2e|gui|wine SOURCES ... [DEPS ...] [ENV ...] [TIMEOUT s])
# Builds one GoogleTest executable and registers each of its tests with CTest.
function(tw_add_test name)
  cmake_parse_arguments(A "" "LABEL;TIMEOUT" "SOURCES;DEPS;ENV" ${ARGN})
  if(NOT A_LABEL)
    set(A_LABEL unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/tests")
  set(env "TW_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp" "TW_BUILD_DIR=${CMAKE_BINARY_DIR}" ${A_ENV})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS
    PROPERTIES LABELS ${A_LABEL} TIMEOUT ${A_TIMEOUT})
  # The environment is a list, and a list inside PROPERTIES is flattened on its way through the
  # discovery script, so only its first variable would arrive. CTest reads this file after the
  # discovered tests and sets the whole list on each of them.
  set(env_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake")
  file(WRITE "${env_file}"
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${env}]==])\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${env_file}")
endfunction()
include(TwSkin)
