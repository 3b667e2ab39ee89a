# --- Resource-only DLLs with chosen file versions, for the DirectX level probe ---
# Each fixture is ver_A_B_C_D.dll with the fixed file version A.B.C.D; noversion.dll has no
# version resource. The probe tests copy them under DirectX file names into scratch folders.
set(version_dll_dir "${CMAKE_BINARY_DIR}/test-fixtures/version-dlls")
file(MAKE_DIRECTORY "${version_dll_dir}/src")
set(version_dll_outputs "")
foreach(version IN ITEMS 4.2.0.95 4.6.3.518 4.7.0.700 5.1.2600.880 5.3.2600.5512 6.5.2600.5512
                         6.1.7600.16385 6.6.7600.16385)
  string(REPLACE "." "," commas "${version}")
  string(REPLACE "." "_" name "${version}")
  set(rc "${version_dll_dir}/src/ver_${name}.rc")
  file(WRITE "${rc}" "1 VERSIONINFO\nFILEVERSION ${commas}\nPRODUCTVERSION ${commas}\nBEGIN\nEND\n")
  set(dll "${version_dll_dir}/ver_${name}.dll")
  add_custom_command(OUTPUT "${dll}"
    COMMAND "${CMAKE_RC_COMPILER}" "${rc}" -O coff -o "${version_dll_dir}/src/ver_${name}.o"
    COMMAND "${CMAKE_C_COMPILER}" -shared -nostdlib -Wl,-e,0 "${version_dll_dir}/src/ver_${name}.o"
            -o "${dll}"
    DEPENDS "${rc}" VERBATIM)
  list(APPEND version_dll_outputs "${dll}")
endforeach()
file(WRITE "${version_dll_dir}/src/noversion.c" "int lumarix_fixture_without_version;\n")
add_custom_command(OUTPUT "${version_dll_dir}/noversion.dll"
  COMMAND "${CMAKE_C_COMPILER}" -shared -nostdlib -Wl,-e,0 "${version_dll_dir}/src/noversion.c"
          -o "${version_dll_dir}/noversion.dll"
  DEPENDS "${version_dll_dir}/src/noversion.c" VERBATIM)
list(APPEND version_dll_outputs "${version_dll_dir}/noversion.dll")
add_custom_target(render_version_dlls DEPENDS ${version_dll_outputs})
add_dependencies(render_tests render_version_dlls)

# --- The hardware back ends, in a prefix of their own ---
# Wine's DirectX files stop the level probe before Direct3D 9 because "mpg2splt.ax" is missing;
# a stand-in with a version resource in a second prefix (which also runs a virtual desktop, so
# display modes really change) lets the device tests and the player reach Direct3D 9 and OpenGL.
# The first prefix stays as it is: there the player keeps the software back end.
set(standin_dir "${CMAKE_BINARY_DIR}/test-fixtures/hardware-prefix")
file(MAKE_DIRECTORY "${standin_dir}/src")
file(WRITE "${standin_dir}/src/mpg2splt.rc"
  "1 VERSIONINFO\nFILEVERSION 6,3,1,885\nPRODUCTVERSION 6,3,1,885\nBEGIN\nEND\n")
add_custom_command(OUTPUT "${standin_dir}/mpg2splt.ax"
  COMMAND "${CMAKE_RC_COMPILER}" "${standin_dir}/src/mpg2splt.rc" -O coff -o "${standin_dir}/src/mpg2splt.o"
  COMMAND "${CMAKE_C_COMPILER}" -shared -nostdlib -Wl,-e,0 "${standin_dir}/src/mpg2splt.o"
          -o "${standin_dir}/mpg2splt.ax"
  DEPENDS "${standin_dir}/src/mpg2splt.rc" VERBATIM)
add_custom_target(render_hardware_standin DEPENDS "${standin_dir}/mpg2splt.ax")
add_dependencies(render_tests render_hardware_standin)
# The hardware tests (suites named Hardware*) run only there, one at a time: they change modes.
set_tests_properties(render PROPERTIES ENVIRONMENT "GTEST_FILTER=-Hardware*")
add_test(NAME render_hardware
  COMMAND "${CMAKE_SOURCE_DIR}/tools/wine-hardware-run" "${standin_dir}/mpg2splt.ax"
          $<TARGET_FILE:render_tests> --gtest_filter=Hardware*)
set_tests_properties(render_hardware PROPERTIES TIMEOUT 900 RESOURCE_LOCK hardware_prefix)
