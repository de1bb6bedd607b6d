# Shared settings and helpers of every build (native host, i686, x86_64).

set(TOVRA_PRODUCT_VERSION ${PROJECT_VERSION})
set(TOVRA_PRODUCT_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/tovra_version.h.in
               ${CMAKE_BINARY_DIR}/generated/tovra_version.h @ONLY)

# tovra_folder_headers(<folder>): after add_subdirectory(<folder>), gives every
# target defined in it (subfolders too) that folder's include root, PUBLIC: a
# folder in the build tree holding only a link to <folder>. "<folder>/x.h"
# then resolves for the folder's own targets and for those that link one of
# them, and a header of a folder that is not linked does not build. The
# generated version header is open to all.
function(tovra_folder_headers folder)
  set(root ${CMAKE_BINARY_DIR}/include-roots/${folder})
  if(NOT EXISTS ${root}/${folder})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  set(dirs ${CMAKE_SOURCE_DIR}/${folder})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t IN LISTS targets)
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${t} INTERFACE ${root} ${CMAKE_BINARY_DIR}/generated)
      elseif(NOT type STREQUAL "UTILITY")
        target_include_directories(${t} PUBLIC ${root} ${CMAKE_BINARY_DIR}/generated)
      endif()
    endforeach()
    get_property(subs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subs})
  endwhile()
endfunction()

if(CMAKE_CROSSCOMPILING)
  # Narrow literals become CP936 bytes, as the system holds its texts; the
  # sources stay UTF-8. Wide literals (L"...") stay UTF-16. Functions get
  # sections of their own so the linker drops the unused ones; data does not:
  # MinGW's compiler then puts zeroed objects into .data sections, which take
  # room in the file (the install folder's 600 bytes, the CRC tables' 8 KB).
  add_compile_options(-Wall -Wextra -Werror
    $<$<COMPILE_LANGUAGE:C,CXX>:-finput-charset=UTF-8>
    $<$<COMPILE_LANGUAGE:C,CXX>:-fexec-charset=CP936>
    $<$<COMPILE_LANGUAGE:C,CXX>:-ffunction-sections>)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Reproducible images: the same sources give the same bytes wherever the
  # source and build folders lie and whenever the build runs. No folder in
  # __FILE__, debug info or assembler line records (the build folder, often
  # inside the source folder, is mapped last so it wins), and no link time
  # stamp in the COFF header or a DLL's export table (ld 2.40 ignores
  # SOURCE_DATE_EPOCH). ld's PE checksum is then the same every time.
  add_compile_options(
    $<$<COMPILE_LANGUAGE:C,CXX,ASM>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=src>
    $<$<COMPILE_LANGUAGE:C,CXX,ASM>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=build>)
  add_link_options(-Wl,--gc-sections -Wl,--no-insert-timestamp)
  # windres reads our UTF-8 .rc files (#pragma code_page(65001)).
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c65001")
  # Both trees run their suites under Wine: the i686 one through the 32-bit
  # loader, where this kernel runs 32-bit programs (scripts/test.sh checks).
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                 WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
  # libz.a, not libz.dll.a: the programs must not need zlib1.dll.
  set(ZLIB_USE_STATIC_LIBS ON)
  find_package(ZLIB)
else()
  add_compile_options(-Wall -Wextra -Werror)
  find_package(ZLIB)
endif()

# tovra_add_gtest(<name> SOURCES ... LIBS ... [TIMEOUT s] [LABELS ...] [SERIAL])
# A GoogleTest program; under the cross build it runs through wine-run.sh.
# SERIAL keeps its cases from running beside any other test (cases that look
# at every top-level window, say).
function(tovra_add_gtest name)
  if(TOVRA_FUZZ)
    return()  # the fuzz tree builds fuzzers only
  endif()
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # An empty LABELS value would vanish from the list and shift the pairs.
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
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
