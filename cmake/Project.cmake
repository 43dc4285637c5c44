# Flags shared by every target of our own.
if(ORVANE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(ORVANE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(ORVANE_SANITIZE STREQUAL "fuzzer")
  # libFuzzer's coverage in every library of ours, under ASan+UBSan; the fuzz targets link the
  # fuzzer's driver (clang only)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT ORVANE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "ORVANE_SANITIZE must be address, thread, fuzzer or empty")
endif()

# Our own code builds warning-free.
function(orvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Woverloaded-virtual -Werror)
endfunction()

# orvane_library(name SOURCES ... DEPS ...): one library per folder.
function(orvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  orvane_warnings(${name})
endfunction()

# orvane_test(name SOURCES ... DEPS ...): one GoogleTest program, its cases registered with CTest.
function(orvane_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest GTest::gtest_main)
  orvane_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
