# Shared helpers for the project's CMake files.

# Where <windows.h> and the other platform headers come from: our layer's on Linux; on
# Windows the system's own, with platform/windows/include for the device's headers that
# desktop Windows lacks.
if(WIN32)
  set(QB_PLATFORM_INCLUDE ${PROJECT_SOURCE_DIR}/platform/windows/include)
else()
  set(QB_PLATFORM_INCLUDE ${PROJECT_SOURCE_DIR}/platform/include)
endif()

# qb_add_library(NAME SOURCES a.cpp ... DEPS lib ...)
# A static library of one folder. Every library sees the platform headers and the
# project root, so code includes "base/WString.h" or <windows.h>.
function(qb_add_library name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${QB_PLATFORM_INCLUDE})
  if(L_DEPS)
    target_link_libraries(${name} PUBLIC ${L_DEPS})
  endif()
endfunction()

# qb_add_test(NAME SOURCES a_test.cpp ... LIBS lib ...)
# One GoogleTest executable, its cases registered with CTest one by one.
function(qb_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/platform/include)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  set(props TIMEOUT 300 ENVIRONMENT "QB_SOURCE_DIR=${PROJECT_SOURCE_DIR};QB_BINARY_DIR=${PROJECT_BINARY_DIR}")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
