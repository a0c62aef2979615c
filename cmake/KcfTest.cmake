# One helper that adds a test: a GoogleTest program run as one ctest test (under Wine when cross-compiling).
include_guard(GLOBAL)

# The 64-bit Linux trees (plain, sanitized, fuzz) link Debian's prebuilt GoogleTest (libgtest-dev)
# rather than compile it in each tree; the Windows and 32-bit trees compile it from its source.
if(NOT WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_package(GTest CONFIG QUIET)
endif()
if(NOT TARGET GTest::gtest_main)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
  # The Windows build's thread model (the one Windows 2000 runs) has no std::mutex, which
  # GoogleTest's thread start signal uses: it gets one on a Win32 event instead. GoogleTest's own
  # locks are Win32 critical sections already.
  if(WIN32)
    target_sources(gtest PRIVATE ${CMAKE_CURRENT_LIST_DIR}/gtest-win32/GTestNotification.cpp)
    target_compile_options(gtest PUBLIC -include ${CMAKE_CURRENT_LIST_DIR}/gtest-win32/GTestNotification.h)
  endif()
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gtest ALIAS gtest)
  endif()
endif()

enable_testing()

# kcf_add_test(NAME [OWN_MAIN] SOURCES... [LIBS libs...] [ARGS args...] [LABELS labels...])
# Builds NAME from SOURCES against GoogleTest and registers it as one test, run in the output
# directory beside the modules. OWN_MAIN: the sources bring their own main().
function(kcf_add_test name)
  cmake_parse_arguments(T "OWN_MAIN" "" "SOURCES;LIBS;ARGS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  if(T_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main ${T_LIBS})
  endif()
  # Test programs play the host: a loaded filter finds the host's exports in them.
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS "${T_LABELS}")
endfunction()

# kcf_old_windows(TEST VERSION PROGRAM)
# Runs TEST with Wine reporting Windows VERSION (winxp, win2k, ...) to the programs whose file is
# named PROGRAM, and only to them: Wine's per-program key AppDefaults\PROGRAM, which a fixture sets
# before TEST in the shared prefix (again on every run, so that an existing prefix gets it too).
# TEST runs a copy of its program under that name, so that other tests keep the default version
# (one TEST may run several such copies).
function(kcf_old_windows test version program)
  set(setter wine_appdefaults_${program})
  if(NOT TEST ${setter})
    add_test(NAME ${setter} COMMAND ${CMAKE_BINARY_DIR}/wine-run reg add
      "HKCU\\Software\\Wine\\AppDefaults\\${program}" /v Version /d ${version} /f)
    set_tests_properties(${setter} PROPERTIES FIXTURES_SETUP ${setter} TIMEOUT 60)
  endif()
  set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED ${setter})
endfunction()

# kcf_program_copy(TARGET NAME): after each build of TARGET, a copy of it named NAME beside it.
function(kcf_program_copy target name)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> $<TARGET_FILE_DIR:${target}>/${name} VERBATIM)
endfunction()
