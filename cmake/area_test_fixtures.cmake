# Libraries and programs that the tests load or run, in build/fixtures, away
# from build/bin so that no search finds them by accident. The tests copy
# them into folders of their own.
set(WB_FIXTURE_DIR ${CMAKE_BINARY_DIR}/fixtures)
set(fixture_src ${CMAKE_SOURCE_DIR}/tests/fixtures)

add_library(fixture_strings SHARED ${fixture_src}/modules/strings_fixture.cpp)
target_include_directories(fixture_strings PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(fixture_strings PROPERTIES PREFIX "" SUFFIX ".dll"
  LIBRARY_OUTPUT_DIRECTORY ${WB_FIXTURE_DIR} CXX_VISIBILITY_PRESET hidden)

# A framework library whose start-up succeeds, fails or throws on request.
add_library(fixture_startup SHARED ${fixture_src}/modules/startup_fixture.cpp)
target_link_libraries(fixture_startup PRIVATE wbplatform)
set_target_properties(fixture_startup PROPERTIES PREFIX "" SUFFIX ".dll"
  LIBRARY_OUTPUT_DIRECTORY ${WB_FIXTURE_DIR} CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_compile_options(fixture_startup PRIVATE -fno-gnu-unique)
target_link_options(fixture_startup PRIVATE -Wl,-z,now)

add_executable(module_host ${fixture_src}/modules/module_host.cpp)
target_link_libraries(module_host PRIVATE wbplatform)
set_target_properties(module_host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${WB_FIXTURE_DIR})

# A wbcrypt.dll without its function, to show that the loader then refuses
# wbremote.dll.
add_library(fixture_wbcrypt_without_function SHARED ${fixture_src}/startup/wbcrypt_without_function.cpp)
set_target_properties(fixture_wbcrypt_without_function PROPERTIES
  PREFIX "" OUTPUT_NAME wbcrypt SUFFIX ".dll"
  LIBRARY_OUTPUT_DIRECTORY ${WB_FIXTURE_DIR}/wbcrypt_without_function)

set(WB_FIXTURE_TARGETS fixture_strings fixture_startup module_host fixture_wbcrypt_without_function)
