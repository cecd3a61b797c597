# The public key every update is checked against, compiled in.
#
# ZORVIK_UPDATE_PUBKEY_FILE names the signature tool's public key file of the
# keys that sign releases. Without it, a key pair is made for this build folder
# (build/update-key/, the secret key unencrypted): `make package` and the tests
# sign with it. It never leaves the build folder.
set(ZORVIK_UPDATE_PUBKEY_FILE "" CACHE FILEPATH "Public key file of the release signing key (empty: a key made for this build)")
set(ZORVIK_UPDATE_KEY_DIR ${CMAKE_BINARY_DIR}/update-key)
if(ZORVIK_UPDATE_PUBKEY_FILE)
  set(_pubkey ${ZORVIK_UPDATE_PUBKEY_FILE})
else()
  set(_pubkey ${ZORVIK_UPDATE_KEY_DIR}/zorvik.pub)
  if(NOT EXISTS ${_pubkey})
    find_program(MINISIGN minisign REQUIRED)
    file(MAKE_DIRECTORY ${ZORVIK_UPDATE_KEY_DIR})
    execute_process(COMMAND ${MINISIGN} -G -W -p ${_pubkey} -s ${ZORVIK_UPDATE_KEY_DIR}/zorvik.key
                    RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_VARIABLE _err)
    if(NOT _rc EQUAL 0)
      message(FATAL_ERROR "could not make the update signing key: ${_err}")
    endif()
    message(STATUS "Update signing key made for this build: ${ZORVIK_UPDATE_KEY_DIR}")
  endif()
endif()
file(READ ${_pubkey} _pubkey_text)
execute_process(COMMAND base64 -w0 ${_pubkey} OUTPUT_VARIABLE _pubkey_b64 RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "could not read the update public key ${_pubkey}")
endif()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/generated)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/update_pubkey.hpp CONTENT
"// Generated from ${_pubkey}: Base64 of the update signing public key file.
#pragma once
namespace zorvik::app {
inline constexpr const char* kUpdatePublicKey = \"${_pubkey_b64}\";
}
")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_pubkey})
