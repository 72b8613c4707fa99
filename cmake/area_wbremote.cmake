# The client library wbremote.dll.
#
# It holds the whole of wbremote_core and wbplatform (whole archives, so that
# every static object is there) and, linked after them, the files that exist
# only in the library (wbremote/dll_*.cpp): the loader runs static
# initialisers in link order, so the application object and its start-up come
# after every static object they use, and go first at unload.
#
# The dynamic symbol table holds the names of wbremote/wbremote.def and
# nothing else: hidden visibility and a version script derived from the .def
# with "local: *". -z now makes a missing import (wbcrypt.dll or its
# DecryptToCharBuffer) refuse the load; -fno-gnu-unique and plain
# thread-locals keep dlclose able to unload the library.

# Everything linked into the library is built for it: hidden symbols and no
# unique symbols that would pin the library in memory.
foreach(lib wbplatform wbremote_core)
  set_target_properties(${lib} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${lib} PRIVATE -fno-gnu-unique)
endforeach()

file(GLOB WB_DLL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/wbremote/dll_*.cpp)
if(NOT WB_DLL_SOURCES)
  return()
endif()
add_library(wbremote_dll_entry STATIC ${WB_DLL_SOURCES})
target_include_directories(wbremote_dll_entry PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(wbremote_dll_entry PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_compile_options(wbremote_dll_entry PRIVATE -fno-gnu-unique)

# The version script, from the export list.
set(WB_DEF_FILE ${CMAKE_SOURCE_DIR}/wbremote/wbremote.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WB_DEF_FILE})
file(STRINGS ${WB_DEF_FILE} wb_def_lines)
set(wb_exports "")
set(wb_in_exports FALSE)
foreach(line IN LISTS wb_def_lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^;")
    continue()
  endif()
  if(line STREQUAL "EXPORTS")
    set(wb_in_exports TRUE)
  elseif(wb_in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)[ \t]+@[0-9]+")
    string(APPEND wb_exports "    ${CMAKE_MATCH_1};\n")
  endif()
endforeach()
set(WB_VERSION_SCRIPT ${CMAKE_BINARY_DIR}/wbremote.map)
file(CONFIGURE OUTPUT ${WB_VERSION_SCRIPT} CONTENT "{\n  global:\n${wb_exports}  local: *;\n};\n")

add_library(wbremote SHARED ${CMAKE_SOURCE_DIR}/wbremote/client_app.h)
set_target_properties(wbremote PROPERTIES
  PREFIX "" SUFFIX ".dll" OUTPUT_NAME wbremote
  LINKER_LANGUAGE CXX
  # Run path: the library's own folder, where wbcrypt.dll lies beside it.
  BUILD_RPATH_USE_ORIGIN ON
  BUILD_RPATH "$ORIGIN"
  INSTALL_RPATH "$ORIGIN"
  LINK_DEPENDS ${WB_VERSION_SCRIPT})
# The archives are named by file, in this order; CMake's own ordering of
# targets would not keep it. Their dependencies follow.
add_dependencies(wbremote wbremote_core wbplatform wbremote_dll_entry)
target_link_libraries(wbremote PRIVATE
  -Wl,--whole-archive
  $<TARGET_FILE:wbremote_core> $<TARGET_FILE:wbplatform> $<TARGET_FILE:wbremote_dll_entry>
  -Wl,--no-whole-archive
  wbcrypt
  # What wbplatform itself links (see cmake/core.cmake); keep in step.
  X11::X11 Threads::Threads ${CMAKE_DL_LIBS})
target_link_options(wbremote PRIVATE
  -Wl,--version-script=${WB_VERSION_SCRIPT}
  -Wl,-z,now)
if(NOT WB_SANITIZE AND NOT WB_TSAN)
  # Every symbol the library needs must be found among its dependencies.
  target_link_options(wbremote PRIVATE -Wl,-z,defs)
endif()
