# The exports tests need the resource library beside them; the shell tests
# need the deliverables and companions.
add_dependencies(${target} wbres)
add_test(NAME wbremote_exports_only_the_export_list
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/exports/export_table_test.sh ${WB_BIN_DIR} ${CMAKE_SOURCE_DIR})
add_test(NAME scanapp_scans_a_page_end_to_end
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/exports/scan_page_test.sh ${WB_BIN_DIR})
set_tests_properties(scanapp_scans_a_page_end_to_end PROPERTIES TIMEOUT 300)
