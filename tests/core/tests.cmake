
# --- Cabinets for the cabinet extraction tests, made with gcab ---
find_program(LUMARIX_GCAB gcab)
if(NOT LUMARIX_GCAB)
  message(FATAL_ERROR "gcab is missing: run tools/setup.sh")
endif()
# The file and URL cabinets are made by the test run itself, before the core tests start.
add_test(NAME core_cabinet_fixtures
  COMMAND "${CMAKE_SOURCE_DIR}/tests/core/make_test_cabinets.sh" "${LUMARIX_GCAB}"
          "${CMAKE_BINARY_DIR}/test-fixtures/cabinets")
set_tests_properties(core_cabinet_fixtures PROPERTIES FIXTURES_SETUP core_cabinets)
set_property(TEST core APPEND PROPERTY FIXTURES_REQUIRED core_cabinets)
# The "CAB" resource of the core tests must exist when windres compiles cabinet_test.rc, so it is
# made at configure time; cabinet_test.rc names it and windres finds it on the include path.
set(cabinet_resource_dir "${CMAKE_BINARY_DIR}/test-fixtures/cabinet-resource")
file(MAKE_DIRECTORY "${cabinet_resource_dir}/src")
file(WRITE "${cabinet_resource_dir}/src/resource.txt" "Lumarix cabinet resource\r\n")
string(REPEAT "A line repeated inside the resource cabinet.\n" 3000 cabinet_resource_text)
file(WRITE "${cabinet_resource_dir}/src/repeated.txt" "${cabinet_resource_text}")
execute_process(
  COMMAND "${LUMARIX_GCAB}" -c -z "${cabinet_resource_dir}/resource.cab" resource.txt repeated.txt
  WORKING_DIRECTORY "${cabinet_resource_dir}/src"
  RESULT_VARIABLE cabinet_resource_result)
if(NOT cabinet_resource_result EQUAL 0)
  message(FATAL_ERROR "gcab could not make ${cabinet_resource_dir}/resource.cab")
endif()
target_include_directories(core_tests PRIVATE "${cabinet_resource_dir}")
set_source_files_properties("${CMAKE_SOURCE_DIR}/tests/core/cabinet_test.rc" PROPERTIES
  OBJECT_DEPENDS "${cabinet_resource_dir}/resource.cab")

# --- Loopback HTTP server for the HTTP client and disk cache tests ---
# Started before the core tests and stopped after them; the tests read its port from
# test-fixtures/http-server/port.
find_program(LUMARIX_PYTHON3 python3 REQUIRED)
set(http_server_dir "${CMAKE_BINARY_DIR}/test-fixtures/http-server")
add_test(NAME core_http_server_start
  COMMAND "${LUMARIX_PYTHON3}" "${CMAKE_SOURCE_DIR}/tests/core/http_test_server.py" start
          --state-dir "${http_server_dir}")
set_tests_properties(core_http_server_start PROPERTIES FIXTURES_SETUP core_http_server TIMEOUT 60)
add_test(NAME core_http_server_stop
  COMMAND "${LUMARIX_PYTHON3}" "${CMAKE_SOURCE_DIR}/tests/core/http_test_server.py" stop
          --state-dir "${http_server_dir}")
set_tests_properties(core_http_server_stop PROPERTIES FIXTURES_CLEANUP core_http_server TIMEOUT 60)
set_property(TEST core APPEND PROPERTY FIXTURES_REQUIRED core_http_server)

# --- The interface language detected from a German user locale ---
add_test(NAME core_language_german COMMAND core_tests --gtest_filter=Language.*)
set_tests_properties(core_language_german PROPERTIES ENVIRONMENT "LUMARIX_LANG=de_DE.UTF-8" TIMEOUT 120)
