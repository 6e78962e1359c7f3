# Test registration shared by all trees.
#
#   add_core_test(NAME SOURCES ...)     portable unit tests: native (labelled
#                                       native), win64 (wine); in win32 every
#                                       core test source joins one program
#                                       (32-bit Wine starts are the slow part).
#   add_windows_test(NAME SOURCES ... [LABELS ...] [WIN32])
#                                       tests of the Windows layer: win64 only,
#                                       or win64 and win32 with WIN32.
#   cases_apart(TEST NAME FILTER)       the cases of TEST that FILTER selects
#                                       run as test NAME instead (see below).
#
# Labels: native, wine (win64), wine32 (win32); e2e for the launchers run
# for real; quick for what ./dev test quick runs of a Wine tree (every unit
# test, and the end-to-end tests or cases that stand for a behaviour).
#   test_program_path(TARGET DEFINITION PROGRAM)
#                                       tells test program TARGET where
#                                       program PROGRAM lies (see below).

if(NOT WIN32)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_library(gtest_all INTERFACE)
  target_link_libraries(gtest_all INTERFACE GTest::gtest GTest::gtest_main)
else()
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_library(gtest_all INTERFACE)
  target_link_libraries(gtest_all INTERFACE gtest gtest_main)
endif()

set(LAUNCHERS_WINE_TIMEOUT 1500)

function(_launchers_test_target name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE launcher_runtime test_support gtest_all ${T_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
endfunction()

function(add_core_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ REGEX "^[^/]")
  if(WIN32 AND LAUNCHERS_ARCH STREQUAL "x86")
    set_property(GLOBAL APPEND PROPERTY LAUNCHERS_CORE_TEST_SOURCES ${T_SOURCES})
    return()
  endif()
  _launchers_test_target(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS})
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS "wine;quick" TIMEOUT ${LAUNCHERS_WINE_TIMEOUT})
  else()
    gtest_discover_tests(${name} PROPERTIES LABELS native DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

function(add_windows_test name)
  cmake_parse_arguments(T "WIN32" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  if(LAUNCHERS_ARCH STREQUAL "x86" AND NOT T_WIN32)
    return()
  endif()
  list(TRANSFORM T_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ REGEX "^[^/]")
  _launchers_test_target(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS})
  if(LAUNCHERS_ARCH STREQUAL "x86")
    set(labels wine32 ${T_LABELS})
  else()
    set(labels wine ${T_LABELS})
  endif()
  if(NOT "e2e" IN_LIST T_LABELS)
    list(APPEND labels quick)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${LAUNCHERS_WINE_TIMEOUT})
endfunction()

# In the 32-bit tree: one program with every core test source.
function(finish_test_registration)
  if(NOT (WIN32 AND LAUNCHERS_ARCH STREQUAL "x86"))
    return()
  endif()
  get_property(sources GLOBAL PROPERTY LAUNCHERS_CORE_TEST_SOURCES)
  if(NOT sources)
    return()
  endif()
  _launchers_test_target(core_tests32 SOURCES ${sources})
  add_test(NAME core_tests32 COMMAND core_tests32 --gtest_brief=1)
  set_tests_properties(core_tests32 PROPERTIES LABELS "wine32;quick" TIMEOUT ${LAUNCHERS_WINE_TIMEOUT})
endfunction()

# The cases of TEST (a GoogleTest program registered by add_windows_test,
# with no environment of its own) that FILTER selects leave it and run as the
# test NAME, with TEST's labels and time limit; TEST runs the others. For
# cases that run under other conditions than the rest (alone, or in the
# quick tier): every case still runs once.
function(cases_apart test name filter)
  get_test_property(${test} LABELS labels)
  add_test(NAME ${name} COMMAND ${test} --gtest_brief=1 --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${LAUNCHERS_WINE_TIMEOUT})
  get_test_property(${test} LAUNCHERS_CASES_APART apart)
  if(NOT apart)
    set(apart)
  endif()
  list(APPEND apart ${filter})
  set_tests_properties(${test} PROPERTIES LAUNCHERS_CASES_APART "${apart}")
  list(JOIN apart ":" joined)
  set_tests_properties(${test} PROPERTIES ENVIRONMENT "GTEST_FILTER=-${joined}")
endfunction()

# DEFINITION, a compile definition of test program TARGET, names the file of
# PROGRAM relative to TARGET's folder in the build tree; test_program()
# (tests/support) looks for it there, or beside the test program in a test
# bundle. No build path reaches a test program, so a bundle comes out the
# same wherever it is built.
function(test_program_path target definition program)
  target_compile_definitions(${target} PRIVATE
    ${definition}="$<PATH:RELATIVE_PATH,$<TARGET_FILE:${program}>,$<TARGET_FILE_DIR:${target}>>")
  add_dependencies(${target} ${program})
endfunction()
