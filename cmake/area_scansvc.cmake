# scansvc, the reference scanner-sharing service (companions/scansvc): the
# service logic as a static library the tests link, and the daemon program.
file(GLOB SCANSVC_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/companions/scansvc/*.cpp)
list(FILTER SCANSVC_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(scansvc_core STATIC ${SCANSVC_SOURCES})
target_include_directories(scansvc_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(scansvc_core PUBLIC wbremote_core wbplatform)

add_executable(scansvc ${CMAKE_SOURCE_DIR}/companions/scansvc/main.cpp)
target_link_libraries(scansvc PRIVATE scansvc_core)
