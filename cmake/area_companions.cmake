# Stand-ins for the outside components the client library meets at run time:
# the resource library wbres.dll, the decipherer wbcrypt.dll and its
# command-line companion wbcrypt-tool. Outputs land in build/bin beside
# wbremote.dll, as installed.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

# wbres.dll: a resource-only library, just the string table.
add_library(wbres SHARED ${CMAKE_SOURCE_DIR}/companions/wbres/wbres_strings.cpp)
target_include_directories(wbres PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(wbres PROPERTIES PREFIX "" SUFFIX ".dll"
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

# The enciphered format and the key file, shared by the library, the tool and
# the tests.
add_library(wbcrypt_format STATIC ${CMAKE_SOURCE_DIR}/companions/wbcrypt/crypt_format.cpp)
target_include_directories(wbcrypt_format PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(wbcrypt_format PUBLIC OpenSSL::Crypto)
set_target_properties(wbcrypt_format PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

# wbcrypt.dll, soname wbcrypt.dll, exporting DecryptToCharBuffer alone.
add_library(wbcrypt SHARED ${CMAKE_SOURCE_DIR}/companions/wbcrypt/wbcrypt.cpp)
target_link_libraries(wbcrypt PRIVATE wbcrypt_format)
set_target_properties(wbcrypt PROPERTIES PREFIX "" SUFFIX ".dll"
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${CMAKE_SOURCE_DIR}/companions/wbcrypt/wbcrypt.map)
target_link_options(wbcrypt PRIVATE
  -Wl,--version-script=${CMAKE_SOURCE_DIR}/companions/wbcrypt/wbcrypt.map -Wl,-z,now)

add_executable(wbcrypt_tool ${CMAKE_SOURCE_DIR}/companions/wbcrypt_tool/main.cpp)
target_link_libraries(wbcrypt_tool PRIVATE wbcrypt_format)
set_target_properties(wbcrypt_tool PROPERTIES OUTPUT_NAME wbcrypt-tool)
