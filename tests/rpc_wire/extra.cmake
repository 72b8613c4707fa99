# The interoperability test finds its python server through WB_SOURCE_DIR,
# or this default when run by hand.
target_compile_definitions(${target} PRIVATE WB_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
