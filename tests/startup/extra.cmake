# The start-up tests load wbremote.dll with its companions from build/bin,
# run the host fixture in folders of their own, and encipher identities as
# wbcrypt-tool does.
add_dependencies(${target} wbremote wbres wbcrypt ${WB_FIXTURE_TARGETS})
target_link_libraries(${target} PRIVATE wbcrypt_format)
target_compile_definitions(${target} PRIVATE WB_FIXTURE_DIR="${WB_FIXTURE_DIR}")
