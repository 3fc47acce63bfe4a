# Writes platform/windows/system_library_names.h into the build folder: one #define a function of
# the lists in platform/windows/system_libraries.h (`X(Name)` lines), mapping its Win32 name onto
# the table of addresses loaded from System32. The lists are the only place a name is written.
set(zq_list ${CMAKE_SOURCE_DIR}/platform/windows/system_libraries.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${zq_list})
file(READ ${zq_list} zq_text)
# Only the lists' lines: X(Name) with nothing before it on its line but blanks or the list's
# #define.
string(REGEX MATCHALL "(\n[ \t]*|_FUNCTIONS\\(X\\)[ \t]*)X\\([A-Za-z0-9_]+\\)" zq_items "${zq_text}")
set(zq_names_text "// Written by the build from platform/windows/system_libraries.h: do not edit.\n")
string(APPEND zq_names_text "#pragma once\n\n#include \"platform/windows/system_libraries.h\"\n\n")
set(zq_count 0)
foreach(zq_item IN LISTS zq_items)
  string(REGEX MATCH "X\\(([A-Za-z0-9_]+)\\)$" zq_match "${zq_item}")
  string(APPEND zq_names_text "#define ${CMAKE_MATCH_1} (::zq_windows::System.${CMAKE_MATCH_1})\n")
  math(EXPR zq_count "${zq_count} + 1")
endforeach()
if(zq_count EQUAL 0)
  message(FATAL_ERROR "no X(Name) line found in ${zq_list}")
endif()
set(ZQ_GENERATED_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated)
# Written only when it changes, so that a reconfiguration rebuilds nothing.
file(CONFIGURE OUTPUT ${ZQ_GENERATED_INCLUDE_DIR}/platform/windows/system_library_names.h
     CONTENT "${zq_names_text}" @ONLY)
