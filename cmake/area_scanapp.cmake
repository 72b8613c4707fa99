# The sample scanning application, installed beside wbremote.dll.
add_executable(scanapp ${CMAKE_SOURCE_DIR}/companions/scanapp/scanapp.cpp)
target_link_libraries(scanapp PRIVATE wbplatform)
target_include_directories(scanapp PRIVATE ${CMAKE_SOURCE_DIR})
