# The packages a user installs: a .deb of the Linux program (release preset), a zip of each
# Morvane.exe (mingw and mingw32 presets). `cpack --preset deb`, `zip` or `zip32` after a build,
# or the workflow presets of the same names, which configure and build first (they run no
# tests: scripts/test.sh does).

set(docs_tool ${PROJECT_SOURCE_DIR}/packaging/make_docs.py)
set(readme ${PROJECT_SOURCE_DIR}/README.md)
set(docs_dir ${CMAKE_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME Morvane)
set(CPACK_PACKAGE_VENDOR "Morvane developers")
set(CPACK_PACKAGE_CONTACT "Morvane developers <dev@morvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "clicks the left mouse button at one point of the screen at a fixed interval")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_VERBATIM_VARIABLES ON)
# The same bytes from the same sources, and SHA256SUMS beside the packages: cmake/CPackRelease.cmake.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackRelease.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/CPackRelease.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/CPackRelease.cmake)
set(CPACK_MORVANE_SOURCE_DATE_EPOCH ${MORVANE_SOURCE_DATE_EPOCH})
set(CPACK_MORVANE_PYTHON ${Python3_EXECUTABLE})
set(CPACK_MORVANE_RELEASE_FILES ${PROJECT_SOURCE_DIR}/packaging/release_files.py)

if(WIN32)
  set(usage ${docs_dir}/使用说明.txt)
  add_custom_command(
    OUTPUT ${usage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${docs_dir}
    COMMAND Python3::Interpreter ${docs_tool} usage ${readme} ${usage}
    DEPENDS ${docs_tool} ${readme}
    COMMENT "Writing the usage notes"
    VERBATIM)
  add_custom_target(morvane_usage ALL DEPENDS ${usage})
  install(TARGETS Morvane RUNTIME DESTINATION .)
  install(FILES ${usage} DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME Morvane-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME Morvane-${PROJECT_VERSION}-win32)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  include(GNUInstallDirs)
  set(man ${docs_dir}/morvane.1.gz)
  set(changelog ${docs_dir}/changelog.Debian.gz)
  add_custom_command(
    OUTPUT ${man} ${changelog}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${docs_dir}
    COMMAND Python3::Interpreter ${docs_tool} man ${readme}
            ${PROJECT_SOURCE_DIR}/packaging/morvane.1.in ${man} ${PROJECT_VERSION}
    COMMAND Python3::Interpreter ${docs_tool} gzip
            ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian ${changelog}
    DEPENDS ${docs_tool} ${readme} ${PROJECT_SOURCE_DIR}/packaging/morvane.1.in
            ${PROJECT_SOURCE_DIR}/packaging/changelog.Debian
    COMMENT "Writing the man page"
    VERBATIM)
  add_custom_target(morvane_docs ALL DEPENDS ${man} ${changelog})
  install(FILES ${man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvane)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides RENAME morvane
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

  string(TOLOWER ${CPACK_PACKAGE_NAME} CPACK_DEBIAN_PACKAGE_NAME)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # What the window needs beyond the libraries: a Chinese face for the captions (else empty
  # boxes) and Qt's translations (else the boxes' button reads "OK").
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei, qt6-translations-l10n")
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_DESCRIPTION [[Morvane is a small auto-clicker with one window, its texts in Simplified
Chinese. Pick a point on the screen, type an interval in seconds (at most 61,
decimals allowed) and run it: from then on Morvane moves the pointer to the
point and clicks the left button once per interval, until F12 ends it. F7,
F10 and F12 work from anywhere on the desktop. It needs an X11 session (or
Xwayland).]])
endif()

include(CPack)

if(BUILD_TESTING)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
endif()
