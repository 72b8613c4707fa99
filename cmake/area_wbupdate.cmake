# The update program wbupdate and its sample translation patchtxt.dll.
#
# wbupdate_core holds everything but main(), so that the tests run the same
# procedure. Whatever links it exports the program's resource table from its
# dynamic symbol table, where the module layer looks for a program's own
# resources.
file(GLOB WB_UPDATE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/wbupdate/*.cpp)
list(FILTER WB_UPDATE_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(wbupdate_core STATIC ${WB_UPDATE_SOURCES})
target_include_directories(wbupdate_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(wbupdate_core PUBLIC wbplatform_ui wbplatform)
target_link_options(wbupdate_core INTERFACE
  -Wl,--undefined=WbGetResourceDirectory -Wl,--export-dynamic-symbol=WbGetResourceDirectory)

add_executable(wbupdate ${CMAKE_SOURCE_DIR}/wbupdate/main.cpp)
target_link_libraries(wbupdate PRIVATE wbupdate_core)

# patchtxt.dll: resource-only, without a soname, so that a bare-name load
# never picks up a copy loaded earlier from another folder.
add_library(patchtxt SHARED ${CMAKE_SOURCE_DIR}/companions/patchtxt/patchtxt_resources.cpp)
target_include_directories(patchtxt PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(patchtxt PROPERTIES PREFIX "" SUFFIX ".dll" NO_SONAME ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
