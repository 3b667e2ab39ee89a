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
