# Helpers of the Windows builds for the shipped programs and their libraries.

# tovra_no_exceptions: the compile flags of everything shipped. The shipped
# programs are statically linked and built without exceptions or RTTI: the
# unwinder, winpthread and the demangler that exception support drags into a
# static MinGW link would be most of their size. The runtime object
# (util/runtime/no_exceptions.cpp, target tovra_no_exceptions_runtime) goes
# into each shipped executable or DLL and nowhere else: the test programs keep
# the standard library's own. _GLIBCXX_ASSERTIONS keeps std::string out of
# libstdc++'s prebuilt (exception-laden) instances and bounds-checks the
# containers on top. The i686 code drops its unwind tables too; x86_64's are
# part of its calling convention (SEH) and stay. Their function-local statics
# are constants or built on the UI thread alone, so they need no guard (whose
# runtime would bring exceptions back).
add_library(tovra_no_exceptions INTERFACE)
target_compile_options(tovra_no_exceptions INTERFACE -fno-exceptions -fno-rtti
                       -fno-threadsafe-statics -D_GLIBCXX_ASSERTIONS)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(tovra_no_exceptions INTERFACE -fno-asynchronous-unwind-tables)
endif()

# tovra_without_exceptions(<target>...): compiles the targets that way. The
# flags stay the targets' own: what links them keeps its own flags.
function(tovra_without_exceptions)
  foreach(t ${ARGN})
    target_link_libraries(${t} PRIVATE tovra_no_exceptions)
  endforeach()
endfunction()

# tovra_use_own_entry(<target> PROGRAM|LIBRARY): the target starts at our
# entry point (util's tovra_program_entry or tovra_library_entry, compiled
# into the target) instead of MinGW's start-up files.
function(tovra_use_own_entry target kind)
  if(kind STREQUAL "PROGRAM")
    set(entry TovraProgramEntry)
    target_link_libraries(${target} PRIVATE tovra_program_entry)
  else()
    set(entry TovraLibraryEntry)
    target_link_libraries(${target} PRIVATE tovra_library_entry)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(entry ${entry}@12)  # stdcall
    endif()
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(entry _${entry})
  endif()
  # Without the start-up files nothing applies runtime pseudo-relocations:
  # data imported from a DLL without __declspec(dllimport) must fail to link.
  target_link_options(${target} PRIVATE -nostartfiles -Wl,-e,${entry} -Wl,--disable-auto-import)
endfunction()

# tovra_harden(<target>...): the image flags of the shipped programs and
# library, said here rather than left to the linker's defaults: relocatable
# (ASLR) and data not executable (DEP); the programs terminal-server aware (a
# terminal server then applies no per-user Windows folder and registry shims
# to them); 32-bit images marked as having no SE handler (they register none:
# built without exceptions, started without MinGW's start-up files), so that
# the system calls no handler found in them; 64-bit images with high-entropy
# ASLR. tests/pe_check checks every one of them.
function(tovra_harden)
  foreach(t ${ARGN})
    target_link_options(${t} PRIVATE -Wl,--dynamicbase -Wl,--nxcompat)
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${t} PRIVATE -Wl,--tsaware)
    endif()
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_link_options(${t} PRIVATE -Wl,--no-seh)
    else()
      target_link_options(${t} PRIVATE -Wl,--high-entropy-va)
    endif()
  endforeach()
endfunction()

# tovra_add_installer(<exe> PAYLOAD <payload lib>)
# An installer program: WinMain, resources and the window (app's
# tovra_installer_main and tovra_app), carrying the given payload
# (tovra_add_payload). The shipped TovraSetup and the test installers that
# carry other products are built the same way: like all they link, without
# exceptions and with the matching runtime.
function(tovra_add_installer name)
  cmake_parse_arguments(I "" "PAYLOAD" "" ${ARGN})
  add_executable(${name} WIN32 $<TARGET_OBJECTS:tovra_installer_main>
                 $<TARGET_OBJECTS:tovra_no_exceptions_runtime>)
  tovra_without_exceptions(${name})
  target_link_libraries(${name} PRIVATE tovra_app ${I_PAYLOAD})
  target_link_options(${name} PRIVATE -s)
  tovra_use_own_entry(${name} PROGRAM)
  tovra_harden(${name})
endfunction()
