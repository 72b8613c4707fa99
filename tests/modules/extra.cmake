# The module tests load fixtures from build/fixtures and export a resource
# table of their own, as a program with resources does.
add_dependencies(${target} ${WB_FIXTURE_TARGETS})
target_compile_definitions(${target} PRIVATE WB_FIXTURE_DIR="${WB_FIXTURE_DIR}")
target_link_options(${target} PRIVATE -Wl,--export-dynamic-symbol=WbGetResourceDirectory)
