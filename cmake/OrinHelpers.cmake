# Shared build settings. Every target of the project goes through orin_target_settings.

set(ORIN_WARNINGS -Wall -Wextra -Wshadow=local -Wnon-virtual-dtor -Wformat=2 -Wno-format-nonliteral)
if(ORIN_WERROR)
  list(APPEND ORIN_WARNINGS -Werror)
  # GCC 12's optimiser reports -Wrestrict and -Wmaybe-uninitialized inside libstdc++'s own string
  # code (false positives of that release). In optimised builds they stay visible as warnings,
  # but a compiler's false alarm must not stop the build of the program a user runs.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13
     AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    list(APPEND ORIN_WARNINGS -Wno-error=restrict -Wno-error=maybe-uninitialized)
  endif()
endif()

if(ORIN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

function(orin_target_settings target)
  target_compile_options(${target} PRIVATE ${ORIN_WARNINGS})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# orin_library(name SOURCES ... LIBS ...): one static library per subsystem folder.
function(orin_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  orin_target_settings(${name})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()

# orin_test(name SOURCES ... LIBS ... [LABELS ...]): a GoogleTest binary registered with CTest.
# Each test runs with the offscreen Qt platform and its own ORIN_HOME set by the test itself.
function(orin_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  orin_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # An empty value would swallow the next property name.
  if(NOT ARG_LABELS)
    set(ARG_LABELS orin)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES
      TIMEOUT ${ARG_TIMEOUT}
      LABELS "${ARG_LABELS}"
      # One variable per property: test discovery splits a list value into separate arguments.
      ENVIRONMENT "ORIN_BUILD_DIR=${PROJECT_BINARY_DIR}"
      ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen")
endfunction()
