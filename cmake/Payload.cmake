# build*/payload: the folder the installer installs from. Copying it is a
# complete installation: the three programs and tidewell-clean beside the
# engine they load through RPATH $ORIGIN (Qt comes from the system).
set(TW_PAYLOAD_DIR ${CMAKE_BINARY_DIR}/payload)
set(_payload_targets Tidewell-installer.exe Tidewell-app.exe Tidewell-unstaller.exe tidewell-engine
                     tidewell-clean)

set(_payload_commands)
foreach(_target IN LISTS _payload_targets)
  list(APPEND _payload_commands
       COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${_target}> ${TW_PAYLOAD_DIR}/)
endforeach()

# The launchers' icon: desktops show a PNG, not an executable's resources.
list(APPEND _payload_commands
     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/pages/common/img/logo.png
             ${TW_PAYLOAD_DIR}/Tidewell.png)

# The application cleaners' definitions, read from beside the program.
list(APPEND _payload_commands
     COMMAND ${CMAKE_COMMAND} -E remove_directory ${TW_PAYLOAD_DIR}/cleaners
     COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_BINARY_DIR}/bin/cleaners
             ${TW_PAYLOAD_DIR}/cleaners)

add_custom_target(payload ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TW_PAYLOAD_DIR}
  ${_payload_commands}
  COMMENT "Assembling the payload folder ${TW_PAYLOAD_DIR}"
  VERBATIM)
add_dependencies(payload ${_payload_targets} tw_cleaner_data)
unset(_payload_commands)
unset(_payload_targets)
