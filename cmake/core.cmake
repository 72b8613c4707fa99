# Core targets: the platform layer and the product code as static libraries.
#
# platform/ and platform/rpc/ form `wbplatform`, the only code that knows it
# runs on Linux. platform/ui/ (the window layer) is `wbplatform_ui`, kept apart
# so that the client library never links the toolkit.
# wbremote/ with rpc/ and log/ form `wbremote_core`, linked into wbremote.dll and
# into the tests. Files named dll_*.cpp hold what exists only inside the shared
# library itself (its static application object, its entry points) and stay out
# of the static library.

find_package(X11 REQUIRED)

file(GLOB WB_PLATFORM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/*.cpp
  ${CMAKE_SOURCE_DIR}/platform/rpc/*.cpp)
add_library(wbplatform STATIC ${WB_PLATFORM_SOURCES})
target_include_directories(wbplatform PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(wbplatform PUBLIC Threads::Threads ${CMAKE_DL_LIBS} PRIVATE X11::X11)

file(GLOB WB_CORE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/wbremote/*.cpp
  ${CMAKE_SOURCE_DIR}/wbremote/rpc/*.cpp
  ${CMAKE_SOURCE_DIR}/wbremote/log/*.cpp)
list(FILTER WB_CORE_SOURCES EXCLUDE REGEX "/dll_[^/]*\\.cpp$")
if(NOT WB_CORE_SOURCES)
  set(WB_CORE_SOURCES ${CMAKE_SOURCE_DIR}/platform/win_types.h)
endif()
add_library(wbremote_core STATIC ${WB_CORE_SOURCES})
set_target_properties(wbremote_core PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(wbremote_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(wbremote_core PUBLIC wbplatform)
