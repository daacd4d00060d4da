# Read by cpack for every package it makes (CPACK_PROJECT_CONFIG_FILE), run again once the files
# are staged (CPACK_PRE_BUILD_SCRIPTS) and once the packages are made (CPACK_POST_BUILD_SCRIPTS,
# which sets CPACK_PACKAGE_FILES to where they are made; CPack copies them into
# CPACK_PACKAGE_DIRECTORY afterwards).
if(NOT CPACK_PACKAGE_FILES)
  # CPack writes SOURCE_DATE_EPOCH as the archives' times, their members' and the gzip headers',
  # which are otherwise the times of the build.
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_MORVANE_SOURCE_DATE_EPOCH}")
  # A zip's member times are in local time: in UTC, whatever the builder's time zone.
  set(ENV{TZ} UTC)
  # mkdir applies the umask to the permissions CMake asks for, so that the staged folders, and
  # the .deb's, are 0700 under umask 077.
  if(IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
    file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
    foreach(path IN LISTS staged)
      if(IS_DIRECTORY "${path}")
        file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
             GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
      endif()
    endforeach()
  endif()
else()
  execute_process(COMMAND "${CPACK_MORVANE_PYTHON}" "${CPACK_MORVANE_RELEASE_FILES}"
                          "${CPACK_PACKAGE_DIRECTORY}" ${CPACK_PACKAGE_FILES}
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
