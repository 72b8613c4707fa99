# The cipher's format directly, and wbcrypt.dll with wbcrypt-tool as built.
target_link_libraries(${target} PRIVATE wbcrypt_format)
add_dependencies(${target} wbcrypt wbcrypt_tool)
