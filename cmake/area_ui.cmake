# The window layer: dialogs, message boxes, icons, the window finder and the
# file operations of dialog programs, on FLTK over X11. Only programs with
# windows link it; the client library never does.
find_program(WB_FLTK_CONFIG fltk-config REQUIRED)
execute_process(COMMAND ${WB_FLTK_CONFIG} --cxxflags OUTPUT_VARIABLE WB_FLTK_CXXFLAGS OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${WB_FLTK_CONFIG} --ldflags OUTPUT_VARIABLE WB_FLTK_LDFLAGS OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(WB_FLTK_CXXFLAGS UNIX_COMMAND "${WB_FLTK_CXXFLAGS}")
separate_arguments(WB_FLTK_LDFLAGS UNIX_COMMAND "${WB_FLTK_LDFLAGS}")

file(GLOB WB_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/ui/*.cpp)
add_library(wbplatform_ui STATIC ${WB_UI_SOURCES})
target_include_directories(wbplatform_ui PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(wbplatform_ui PRIVATE ${WB_FLTK_CXXFLAGS})
target_link_libraries(wbplatform_ui PUBLIC wbplatform PRIVATE ${WB_FLTK_LDFLAGS} X11::X11)
