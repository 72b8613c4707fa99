# The service's tests link its logic and run the daemon program itself.
target_link_libraries(${target} PRIVATE scansvc_core)
add_dependencies(${target} scansvc)
