# Test registration shared by all trees.
#
#   add_core_test(NAME SOURCES ...)     portable unit tests: native (labelled
#                                       native), win64 (wine); in win32 every
#                                       core test source joins one program so
#                                       the slow 32-bit Wine starts once.
#   add_windows_test(NAME SOURCES ... [LABELS ...] [WIN32])
#                                       tests of the Windows layer: win64 only,
#                                       or win64 and win32 with WIN32.
#   test_program_path(TARGET DEFINITION PROGRAM)
#                                       tells test program TARGET where
#                                       program PROGRAM lies (see below).
#   children_under_qemu_are_64_bit(TEST)
#                                       in win32, TEST's probe children are
#                                       64-bit where 32-bit programs go
#                                       through qemu (see below).
#   cases_need_native_i386(TEST FILTER)
#                                       in win32, the cases of TEST that
#                                       FILTER selects become a test of
#                                       their own (see below).

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
    set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT ${LAUNCHERS_WINE_TIMEOUT})
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
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${LAUNCHERS_WINE_TIMEOUT})
endfunction()

# Where 32-bit programs go through qemu-user, every 32-bit start costs most
# of a minute: there tools/wine-run gives the 32-bit test TEST the 64-bit
# probe.exe of the win64 tree beside this one for its children (through
# LAUNCHERS_QEMU_PROBE; the 32-bit code under test is the same either way).
set(LAUNCHERS_WIN64_TREE "${CMAKE_BINARY_DIR}/../win64" CACHE PATH
  "The 64-bit build tree, whose probe.exe 32-bit tests start where 32-bit programs go through qemu")
function(children_under_qemu_are_64_bit test)
  get_filename_component(probe "${LAUNCHERS_WIN64_TREE}/tools/probe/probe.exe" ABSOLUTE)
  string(REPLACE "/" "\\" probe "Z:${probe}")
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "LAUNCHERS_QEMU_PROBE=${probe}")
endfunction()

# Some cases cannot run where 32-bit programs go through qemu-user (7.2
# crashes when several 32-bit threads run at once under Wine 8). In the
# 32-bit tree the cases of TEST (a GoogleTest filter) leave it and form the
# test TEST_threads, which tools/wine-run does not even start there: it says
# why and CTest counts it as skipped. Elsewhere they stay where they are.
# The cases skip themselves as well (SKIP_IF_CONCURRENT_THREADS_UNSUPPORTED),
# for a run that does not go through wine-run. Call it in the directory of
# TEST, after TEST; for a core test, whose cases join core_tests32, anywhere.
set(LAUNCHERS_QEMU_THREADS_REASON "several 32-bit threads at once crash qemu-user 7.2 under Wine 8")
function(cases_need_native_i386 test filter)
  if(NOT (WIN32 AND LAUNCHERS_ARCH STREQUAL "x86"))
    return()
  endif()
  if(TEST ${test})
    _launchers_cases_apart(${test} "${filter}")
  else()
    set_property(GLOBAL APPEND PROPERTY LAUNCHERS_CORE_NATIVE_I386_CASES "${filter}")
  endif()
endfunction()

function(_launchers_cases_apart test filter)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-${filter}")
  add_test(NAME ${test}_threads COMMAND ${test} --gtest_brief=1)
  set_tests_properties(${test}_threads PROPERTIES LABELS wine32 TIMEOUT ${LAUNCHERS_WINE_TIMEOUT}
    ENVIRONMENT "GTEST_FILTER=${filter};LAUNCHERS_NEEDS_NATIVE_I386=${LAUNCHERS_QEMU_THREADS_REASON}"
    SKIP_RETURN_CODE 77)
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
  set_tests_properties(core_tests32 PROPERTIES LABELS wine32 TIMEOUT ${LAUNCHERS_WINE_TIMEOUT})
  get_property(filters GLOBAL PROPERTY LAUNCHERS_CORE_NATIVE_I386_CASES)
  if(filters)
    list(JOIN filters ":" filter)
    _launchers_cases_apart(core_tests32 "${filter}")
  endif()
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
