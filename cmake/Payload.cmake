# tw_add_payload(<target> DIR <folder> PROGRAMS <installer> <app> <unstaller>)
#
# The folder the installer installs from. Copying it is a complete
# installation: the three programs and tidewell-clean beside the engine they
# load through RPATH $ORIGIN (Qt comes from the system), the launchers' icon
# and the application cleaners' definitions.
function(tw_add_payload target)
  cmake_parse_arguments(ARG "" "DIR" "PROGRAMS" ${ARGN})
  set(commands)
  foreach(program IN LISTS ARG_PROGRAMS ITEMS tidewell-engine tidewell-clean)
    list(APPEND commands
         COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${program}> ${ARG_DIR}/)
  endforeach()
  # The launchers' icon: desktops show a PNG, not an executable's resources.
  list(APPEND commands
       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/pages/common/img/logo.png
               ${ARG_DIR}/Tidewell.png
       COMMAND ${CMAKE_COMMAND} -E remove_directory ${ARG_DIR}/cleaners
       COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_BINARY_DIR}/bin/cleaners
               ${ARG_DIR}/cleaners)
  add_custom_target(${target} ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ARG_DIR}
    ${commands}
    COMMENT "Assembling the payload folder ${ARG_DIR}"
    VERBATIM)
  add_dependencies(${target} ${ARG_PROGRAMS} tidewell-engine tidewell-clean tw_cleaner_data)
  set_target_properties(${target} PROPERTIES TW_PAYLOAD_DIR ${ARG_DIR})
endfunction()

# tw_add_update(<target> [ALL] PAYLOAD <payload target> DIR <folder> VERSION <version>)
#
# The update the service offers: one file, <folder>/Tidewell-<version>.tar.gz,
# holding the payload with its programs stripped, as a release ships them.
# The application unpacks it and starts the installer inside.
function(tw_add_update target)
  cmake_parse_arguments(ARG "ALL" "PAYLOAD;DIR;VERSION" "" ${ARGN})
  set(all)
  if(ARG_ALL)
    set(all ALL)
  endif()
  get_target_property(payload ${ARG_PAYLOAD} TW_PAYLOAD_DIR)
  set(stage ${ARG_DIR}/stage)
  set(file ${ARG_DIR}/Tidewell-${ARG_VERSION}.tar.gz)
  set(programs Tidewell-installer.exe Tidewell-app.exe Tidewell-unstaller.exe
               tidewell-clean libtidewell-engine.so)
  set(strip)
  foreach(program IN LISTS programs)
    list(APPEND strip COMMAND ${CMAKE_STRIP} --strip-debug -o ${stage}/${program} ${payload}/${program})
  endforeach()
  add_custom_target(${target} ${all}
    COMMAND ${CMAKE_COMMAND} -E remove_directory ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
    ${strip}
    COMMAND ${CMAKE_COMMAND} -E copy ${payload}/Tidewell.png ${stage}/
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${payload}/cleaners ${stage}/cleaners
    COMMAND ${CMAKE_COMMAND} -E chdir ${stage}
            ${CMAKE_COMMAND} -E tar czf ${file} -- ${programs} Tidewell.png cleaners
    COMMAND ${CMAKE_COMMAND} -E remove_directory ${stage}
    BYPRODUCTS ${file}
    COMMENT "Packing the update ${file}"
    VERBATIM)
  add_dependencies(${target} ${ARG_PAYLOAD})
endfunction()

tw_add_payload(payload DIR ${CMAKE_BINARY_DIR}/payload
               PROGRAMS Tidewell-installer.exe Tidewell-app.exe Tidewell-unstaller.exe)
# The file to publish for this version: cmake --build build --target update
tw_add_update(update PAYLOAD payload DIR ${CMAKE_BINARY_DIR}/update VERSION ${TW_VERSION})
