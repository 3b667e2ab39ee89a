
# --- JPEG streams made by cjpeg and their djpeg decodes, the decoder tests' references ---
find_program(LUMARIX_CJPEG cjpeg)
find_program(LUMARIX_DJPEG djpeg)
if(NOT LUMARIX_CJPEG OR NOT LUMARIX_DJPEG)
  message(FATAL_ERROR "cjpeg/djpeg are missing (libjpeg-turbo-progs): run tools/setup.sh")
endif()
add_test(NAME images_jpeg_fixtures
  COMMAND "${CMAKE_SOURCE_DIR}/tests/images/make_jpeg_fixtures.sh"
          "${CMAKE_BINARY_DIR}/test-fixtures/jpeg")
set_tests_properties(images_jpeg_fixtures PROPERTIES FIXTURES_SETUP images_jpeg TIMEOUT 120)
set_property(TEST images APPEND PROPERTY FIXTURES_REQUIRED images_jpeg)
# The whole images suite once more on the plain paths.
add_test(NAME images_plain COMMAND images_tests)
set_tests_properties(images_plain PROPERTIES ENVIRONMENT "LUMARIX_SIMD=plain" TIMEOUT 600
  FIXTURES_REQUIRED images_jpeg)

# --- Image loading and the JPEG encoder ---
add_test(NAME images_loading_fixtures
  COMMAND "${CMAKE_SOURCE_DIR}/tests/images/make_loading_fixtures.sh"
          "${CMAKE_BINARY_DIR}/test-fixtures/loading")
set_tests_properties(images_loading_fixtures PROPERTIES FIXTURES_SETUP images_loading TIMEOUT 120)
set_property(TEST images APPEND PROPERTY FIXTURES_REQUIRED images_loading)
set_property(TEST images_plain APPEND PROPERTY FIXTURES_REQUIRED images_loading)
# The encoder's standard streams, written by the images run, checked with libjpeg's djpeg and
# beside cjpeg's.
set_property(TEST images APPEND PROPERTY FIXTURES_SETUP images_encoder_streams)
add_test(NAME images_encoder_djpeg
  COMMAND "${CMAKE_SOURCE_DIR}/tests/images/check_encoder_streams.sh"
          "${CMAKE_BINARY_DIR}/test-fixtures")
set_tests_properties(images_encoder_djpeg PROPERTIES FIXTURES_REQUIRED "images_encoder_streams;images_jpeg"
  TIMEOUT 120)
