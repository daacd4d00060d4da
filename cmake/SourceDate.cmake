# SOURCE_DATE_EPOCH (reproducible-builds.org): the one time the build writes wherever a tool would
# write the time of the build, so that two builds of the same sources give the same bytes. From
# the environment when it is set; in a git checkout, the time of the commit built; in a source
# tarball made by `git archive` (or a forge's download of one), the same time, which git wrote
# into packaging/source-date-epoch (.gitattributes: export-subst).
set(stamp_file ${PROJECT_SOURCE_DIR}/packaging/source-date-epoch)
file(STRINGS ${stamp_file} stamp LIMIT_COUNT 1)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(MORVANE_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
elseif(stamp MATCHES "^[0-9]+$")
  set(MORVANE_SOURCE_DATE_EPOCH ${stamp})
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE failed
                    OUTPUT_VARIABLE MORVANE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE git_dir
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A new commit or checkout moves the time: configure again.
    if(EXISTS "${git_dir}/logs/HEAD")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_dir}/logs/HEAD")
    endif()
  endif()
  if(NOT MORVANE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(WARNING "Neither git nor a source tarball's ${stamp_file} tells when the sources "
                    "were made; the build writes 1970-01-01 instead (set SOURCE_DATE_EPOCH)")
    set(MORVANE_SOURCE_DATE_EPOCH 0)
  endif()
endif()

if(NOT MSVC)
  set(with_date ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${MORVANE_SOURCE_DATE_EPOCH})
  # Debian's binutils-mingw-w64 writes SOURCE_DATE_EPOCH into the PE header's time stamp (and
  # with it the checksum), which is otherwise the time of the link.
  set(CMAKE_CXX_LINKER_LAUNCHER ${with_date})
  # Qt's rcc stores each file's modification time in the resource tree (the Linux program's
  # icon, drawn at build time), unless SOURCE_DATE_EPOCH says otherwise.
  set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM
               "\"${CMAKE_COMMAND}\" -E env SOURCE_DATE_EPOCH=${MORVANE_SOURCE_DATE_EPOCH}")
  # The build folder appears wherever __FILE__ or debug information does: nowhere in the shipped
  # programs today, but an assert or a debug build would bring it in.
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}=."
                      "-ffile-prefix-map=${PROJECT_BINARY_DIR}=build")
endif()
