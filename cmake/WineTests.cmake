# Test executables run under Wine inside one session (prefix, wineserver, Xvfb) that a
# CTest fixture starts before the first test and stops after the last.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_test(NAME wine_session_start
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session start ${TAGSY_WINE_SESSION})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
add_test(NAME wine_session_stop
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session stop ${TAGSY_WINE_SESSION})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

# tagsy_test(name SOURCES ... LIBS ... [LOCALES loc...] [LOCKS res...])
# Builds one GoogleTest executable and runs it once per locale (Polish by default).
function(tagsy_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LOCALES;LOCKS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  if(NOT T_LOCALES)
    set(T_LOCALES pl_PL.UTF-8)
  endif()
  foreach(locale IN LISTS T_LOCALES)
    string(REGEX REPLACE "\\..*" "" short ${locale})
    set(test_name ${name}.${short})
    add_test(NAME ${test_name} COMMAND ${name} ${T_ARGS})
    set_tests_properties(${test_name} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "TAGSY_LOCALE=${locale}"
      TIMEOUT 300)
    if(T_LOCKS)
      set_tests_properties(${test_name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
    endif()
  endforeach()
endfunction()
