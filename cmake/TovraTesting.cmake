# Test and fuzzer helpers, after the compile settings of TovraCommon.cmake.

# tovra_add_gtest(<name> SOURCES ... [LIBS ...] [TIMEOUT s] [LABELS ...] [SERIAL]
#                 [SMALL_DISK] [ENVIRONMENT <var=value>...] [RESOURCE_LOCK <name>...])
# A GoogleTest program whose cases ctest runs one by one; under the cross
# build they run through wine-run.sh. SERIAL keeps its cases from running
# beside any other test (cases that look at every top-level window, say).
# Under the cross build every case waits for the wine fixture (the tree's
# prefix, made once). SMALL_DISK: the cases use the small-disk fixture (tests/CMakeLists.txt),
# set up before the first and cleaned up after the last; TOVRA_SMALL_DISK
# names its folder. A case that calls GTEST_SKIP counts as skipped. RESOURCE_LOCK: cases that share the named thing (one
# small disk, say) never run at the same time.
function(tovra_add_gtest name)
  if(TOVRA_FUZZ)
    return()  # the fuzz tree builds fuzzers only
  endif()
  cmake_parse_arguments(T "SERIAL;SMALL_DISK" "TIMEOUT"
                        "SOURCES;LIBS;LABELS;ENVIRONMENT;RESOURCE_LOCK" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(TOVRA_WINDOWS)
    set(T_FIXTURES_REQUIRED wine)  # tests/CMakeLists.txt: the prefix, made once
  endif()
  if(T_SMALL_DISK)
    list(APPEND T_FIXTURES_REQUIRED small_disk)
    target_compile_definitions(${name} PRIVATE TOVRA_SMALL_DISK="${TOVRA_SMALL_DISK}")
  endif()
  # An empty list value would vanish from the list and shift the pairs.
  set(props TIMEOUT ${T_TIMEOUT})
  foreach(list_prop LABELS ENVIRONMENT RESOURCE_LOCK)
    if(T_${list_prop})
      list(APPEND props ${list_prop} "${T_${list_prop}}")
    endif()
  endforeach()
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  # The cases are read from the sources rather than listed by running the
  # program: a listing run under Wine that does not end (it hung once until
  # its 120 s ran out, in a fresh prefix) would stop ctest before its first
  # case, where a hung case only fails itself and gets its rerun.
  set(scanned "")
  foreach(src ${T_SOURCES})
    if(src MATCHES "\\.cpp$")
      list(APPEND scanned ${src})
    endif()
  endforeach()
  gtest_add_tests(TARGET ${name} SOURCES ${scanned} TEST_LIST cases)
  set_tests_properties(${cases} PROPERTIES ${props} SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
  if(T_FIXTURES_REQUIRED)  # a list: given quoted, on its own
    set_tests_properties(${cases} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES_REQUIRED}")
  endif()
endfunction()

# tovra_add_fuzzer(<name> SOURCES ... LIBS ... [CORPUS dir] [SECONDS s])
# A libFuzzer target with ASan and UBSan. Built only in the fuzz tree (clang,
# TOVRA_FUZZ=ON, see scripts/build.sh fuzz); the suite runs each one briefly on
# its seed corpus. Longer runs: scripts/fuzz.sh <name> <seconds>.
option(TOVRA_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(TOVRA_FUZZ)
  # The libraries under test need the coverage hooks too, or libFuzzer sees
  # only the target's own file.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
function(tovra_add_fuzzer name)
  if(NOT TOVRA_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 5)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined
                         -fno-sanitize-recover=undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  set(work ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  set(seeds "")
  if(F_CORPUS)
    set(seeds ${F_CORPUS})
  endif()
  add_test(NAME fuzz.${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   $<TARGET_FILE:${name}> -max_total_time=${F_SECONDS} -print_final_stats=1
                   ${work} ${seeds})
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120 LABELS fuzz)
  file(MAKE_DIRECTORY ${work})
endfunction()
