# Build rules the front ends and their test programs share.

# The icon and the tests' harness run on the build host.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The icon every front end shows, drawn from res/ at build time: sets ${prefix}_ICO and
# ${prefix}_PNG in the caller to the files written into OUTPUT_DIR, and for each of SIZES a
# ${prefix}_PNG_<size> scaled from the same pixels.
function(morvane_icon prefix output_dir)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "SIZES")
  set(tool ${PROJECT_SOURCE_DIR}/res/make_icon.py)
  set(source ${PROJECT_SOURCE_DIR}/res/morvane_icon.txt)
  set(scaled_args)
  set(scaled_files)
  foreach(size IN LISTS arg_SIZES)
    set(file ${output_dir}/morvane-${size}.png)
    list(APPEND scaled_args ${size}=${file})
    list(APPEND scaled_files ${file})
    set(${prefix}_PNG_${size} ${file} PARENT_SCOPE)
  endforeach()
  add_custom_command(
    OUTPUT ${output_dir}/morvane.ico ${output_dir}/morvane.png ${scaled_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND Python3::Interpreter ${tool} ${source} ${output_dir}/morvane.ico
            ${output_dir}/morvane.png ${scaled_args}
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
