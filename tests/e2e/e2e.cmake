# The end-to-end scenarios as CTest tests for one product (x11 or wine). scenarios.py holds the
# one list: which scenarios apply to the product, their labels and timeouts. The remaining
# arguments go to every test's command line; the tests' names end up in MORVANE_E2E_TESTS.
function(morvane_e2e_tests product)
  set(script ${PROJECT_SOURCE_DIR}/tests/e2e/scenarios.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  execute_process(COMMAND ${Python3_EXECUTABLE} ${script} --list ${product}
                  OUTPUT_VARIABLE rows COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" rows "${rows}")
  set(names)
  foreach(row IN LISTS rows)
    if(row)
      string(REPLACE " " ";" fields "${row}")
      list(GET fields 0 name)
      list(GET fields 1 labels)
      list(GET fields 2 timeout)
      string(REPLACE "," ";" labels "${labels}")
      add_test(NAME ${product}_${name}
        COMMAND ${Python3_EXECUTABLE} ${script} ${product} ${name} ${ARGN})
      set_tests_properties(${product}_${name} PROPERTIES
        LABELS "${labels}" TIMEOUT ${timeout} SKIP_RETURN_CODE 77)
      list(APPEND names ${product}_${name})
    endif()
  endforeach()
  set(MORVANE_E2E_TESTS ${names} PARENT_SCOPE)
endfunction()
