# The update tests run the program's procedure in-process (wbupdate_core)
# through the desktop seam, and the program itself under Xvfb.
target_link_libraries(${target} PRIVATE wbupdate_core)
# Kept out of build/bin, so that the translation beside the real program is not
# the one these tests find: each test puts its own patchtxt.dll, or none, into
# its current folder.
set(WB_UPDATE_TEST_DIR ${CMAKE_BINARY_DIR}/tests/update)
set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${WB_UPDATE_TEST_DIR})
# The file the procedure copies: beside the running program, as installed.
file(WRITE ${WB_UPDATE_TEST_DIR}/wbremote.dll "new client library\n")

add_library(patchtxt_partial SHARED ${CMAKE_CURRENT_LIST_DIR}/fixtures/patchtxt_partial.cpp)
target_include_directories(patchtxt_partial PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(patchtxt_partial PROPERTIES PREFIX "" SUFFIX ".dll" NO_SONAME ON
  LIBRARY_OUTPUT_DIRECTORY ${WB_UPDATE_TEST_DIR}/fixtures
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
add_dependencies(${target} patchtxt patchtxt_partial)
target_compile_definitions(${target} PRIVATE
  WB_PATCHTXT_GERMAN="${WB_BIN_DIR}/patchtxt.dll"
  WB_PATCHTXT_PARTIAL="${WB_UPDATE_TEST_DIR}/fixtures/patchtxt_partial.dll")

# Under Xvfb with xdotool: the real windows, keys and the window finder.
add_test(NAME wbupdate_under_xvfb
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/xvfb_update_test.sh ${WB_BIN_DIR}/wbupdate ${CMAKE_BINARY_DIR}/artifacts)
set_tests_properties(wbupdate_under_xvfb PROPERTIES TIMEOUT 180 RUN_SERIAL TRUE)
