# The end-to-end scenarios as CTest tests for one product (x11, wayland, wine...). scenarios.py
# holds the one list: which scenarios apply to the product, their labels and timeouts. The
# remaining arguments go to every test's command line; the tests' names end up in
# MORVANE_E2E_TESTS.
function(morvane_e2e_tests product)
  morvane_e2e_rows(${product} rows)
  set(names)
  foreach(row IN LISTS rows)
    string(REPLACE " " ";" fields "${row}")
    list(GET fields 0 name)
    list(GET fields 1 labels)
    list(GET fields 2 timeout)
    string(REPLACE "," ";" labels "${labels}")
    add_test(NAME ${product}_${name}
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/e2e/scenarios.py ${product} ${name}
              ${ARGN})
    set_tests_properties(${product}_${name} PROPERTIES
      LABELS "${labels}" TIMEOUT ${timeout} SKIP_RETURN_CODE 77)
    list(APPEND names ${product}_${name})
  endforeach()
  set(MORVANE_E2E_TESTS ${names} PARENT_SCOPE)
endfunction()

# The same for a product run inside Debian 13 (scripts/debian13.sh), with the package installed
# there: debian13_<product>_<scenario>, label debian13, after the fixture `debian13` that makes
# that system. The source tree is /morvane there; the arguments name files as seen from there.
function(morvane_debian13_tests product)
  morvane_e2e_rows(${product} rows)
  foreach(row IN LISTS rows)
    string(REPLACE " " ";" fields "${row}")
    list(GET fields 0 name)
    list(GET fields 2 timeout)
    add_test(NAME debian13_${product}_${name}
      COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/debian13.sh run
              python3 /morvane/tests/e2e/scenarios.py ${product} ${name} ${ARGN})
    set_tests_properties(debian13_${product}_${name} PROPERTIES
      LABELS debian13 TIMEOUT ${timeout} SKIP_RETURN_CODE 77 FIXTURES_REQUIRED debian13)
  endforeach()
endfunction()

# name, labels and timeout of each scenario that applies to `product`, one row each.
function(morvane_e2e_rows product out)
  set(script ${PROJECT_SOURCE_DIR}/tests/e2e/scenarios.py)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  execute_process(COMMAND ${Python3_EXECUTABLE} ${script} --list ${product}
                  OUTPUT_VARIABLE rows COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" rows "${rows}")
  list(FILTER rows EXCLUDE REGEX "^$")
  set(${out} ${rows} PARENT_SCOPE)
endfunction()
