# The command-line option table (tovra_options). The scanner is portable and
# builds natively for tests and fuzzers; ParseCommandLine asks Windows for the
# module's file name.
add_library(tovra_options STATIC ${CMAKE_CURRENT_LIST_DIR}/options.cpp)
target_link_libraries(tovra_options PUBLIC tovra_util_text)
if(TOVRA_WINDOWS)
  target_sources(tovra_options PRIVATE ${CMAKE_CURRENT_LIST_DIR}/options_win.cpp)
  tovra_without_exceptions(tovra_options)
endif()
