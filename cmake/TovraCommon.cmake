# Shared settings and helpers of every build (native host, i686, x86_64).

# The trees of one build folder find each other through these, which
# scripts/build.sh sets: TOVRA_HOST_BIN (the host tree's tools), TOVRA_I686_BIN
# (the shipped build's programs) and TOVRA_BUILD_ROOT (the folder holding the
# trees host, i686 and x64).
set(TOVRA_HOST_BIN "" CACHE PATH "The host tree's bin folder")
set(TOVRA_I686_BIN "" CACHE PATH "The i686 tree's bin folder")
set(TOVRA_BUILD_ROOT "" CACHE PATH "The folder holding the host, i686 and x64 trees")

# The product version (TOVRA_PRODUCT_VERSION, which project() took as its own)
# as the code and the version records read it.
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

include(${CMAKE_CURRENT_LIST_DIR}/TovraTesting.cmake)
if(CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_LIST_DIR}/TovraWindows.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/TovraPayload.cmake)
endif()
