# Build rules the front ends and their test programs share.

# The icon and the tests' harness run on the build host.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The icon every front end shows, drawn from res/ at build time: sets ${prefix}_ICO and
# ${prefix}_PNG in the caller to the files written into OUTPUT_DIR.
function(morvane_icon prefix output_dir)
  set(tool ${PROJECT_SOURCE_DIR}/res/make_icon.py)
  set(source ${PROJECT_SOURCE_DIR}/res/morvane_icon.txt)
  add_custom_command(
    OUTPUT ${output_dir}/morvane.ico ${output_dir}/morvane.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND Python3::Interpreter ${tool} ${source} ${output_dir}/morvane.ico
            ${output_dir}/morvane.png
    DEPENDS ${tool} ${source}
    COMMENT "Drawing the icon"
    VERBATIM)
  set(${prefix}_ICO ${output_dir}/morvane.ico PARENT_SCOPE)
  set(${prefix}_PNG ${output_dir}/morvane.png PARENT_SCOPE)
endfunction()

# A Windows program that runs from its own file alone: no libstdc++, libgcc or winpthread DLL
# beside it. WWINMAIN for programs whose entry point is wWinMain.
function(morvane_static_exe target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "WWINMAIN" "" "")
  if(MSVC)
    set_property(TARGET ${target} PROPERTY
      MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
  else()
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
                                          $<$<BOOL:${arg_WWINMAIN}>:-municode>)
  endif()
endfunction()
