# The fuzz program: coverage-guided fuzzing of the input readers (tests/fuzz). The readers'
# sources are compiled a second time with trace-pc instrumentation and take precedence over the
# same files in the subsystem libraries; the heap is the guard-page heap of guard_heap.cpp.
#
# A new reader adds its target to a targets_*.cpp file, its name to LUMARIX_FUZZ_TARGETS, its
# sources to LUMARIX_FUZZ_SOURCES, and seeds to tests/fuzz/corpus/<target>/. Inputs that once
# faulted stay in tests/fuzz/regressions/<target>/ and are replayed by every run.

set(LUMARIX_FUZZ_TARGETS tokenizer urls textfile language rangemap http cabinet settings screensaver
  script jpeg package handover imagelist imagestream strips)

set(LUMARIX_FUZZ_SOURCES
  core/value_tokenizer.cpp core/text_convert.cpp core/path_resolution.cpp core/text_file.cpp
  core/language.cpp core/disk_cache.cpp core/cabinet.cpp
  core/http_client.cpp core/http_client_body.cpp core/http_client_network.cpp
  core/http_client_wininet.cpp
  core/stream_open.cpp core/stream_io.cpp core/stream_memory.cpp core/stream_file.cpp
  core/stream_http.cpp core/stream_scramble.cpp
  viewer/config_file.cpp viewer/screensaver_mode.cpp viewer/main_frame_package.cpp
  viewer/main_frame_startup.cpp viewer/main_wnd_frame_strips.cpp core/package.cpp sources/frame_loader.cpp
  script/reader.cpp script/reader_keywords.cpp script/key_names.cpp script/flag_words.cpp
  script/reader_sections.cpp script/reader_frame_keys.cpp script/reader_objects.cpp
  script/reader_display_objects.cpp script/reader_interactive.cpp script/reader_code_objects.cpp
  script/reader_link.cpp
  images/jpeg_color.cpp images/jpeg_color_avx2.cpp images/jpeg_decoder.cpp images/jpeg_format.cpp
  images/jpeg_huffman.cpp images/jpeg_idct.cpp images/jpeg_idct_avx2.cpp images/jpeg_idct_sse2.cpp
  images/jpeg_markers.cpp images/sprite_jpeg_load.cpp images/sprite_load.cpp
  images/sprite_loading.cpp)
list(TRANSFORM LUMARIX_FUZZ_SOURCES PREPEND "${CMAKE_SOURCE_DIR}/")

add_library(fuzz_instrumented OBJECT ${LUMARIX_FUZZ_SOURCES})
target_include_directories(fuzz_instrumented PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(fuzz_instrumented PRIVATE ${LUMARIX_DEFINES})
target_compile_options(fuzz_instrumented PRIVATE ${LUMARIX_WARNINGS} -fsanitize-coverage=trace-pc)
target_link_libraries(fuzz_instrumented PRIVATE png)

file(GLOB fuzz_srcs CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp")
add_executable(fuzz ${fuzz_srcs} $<TARGET_OBJECTS:fuzz_instrumented>)
set_target_properties(fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_include_directories(fuzz PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/fuzz)
target_compile_definitions(fuzz PRIVATE ${LUMARIX_DEFINES}
  LUMARIX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" LUMARIX_BINARY_DIR="${CMAKE_BINARY_DIR}")
target_compile_options(fuzz PRIVATE ${LUMARIX_WARNINGS})
target_link_libraries(fuzz PRIVATE ${LUMARIX_LINK})
target_link_options(fuzz PRIVATE
  -Wl,--wrap=malloc -Wl,--wrap=free -Wl,--wrap=realloc -Wl,--wrap=calloc)

# Each target replays its seeds and regressions, then runs a fixed, seeded batch of new inputs.
# The batch also ends after a time cap: on a loaded machine the slow targets (those that build
# frames or an engine per input) would otherwise run into the test's time-out. The inputs come in
# the same seeded order either way; a cut batch only tries fewer of them.
set(LUMARIX_FUZZ_INPUTS 2000 CACHE STRING "New inputs per target in each test run")
set(LUMARIX_FUZZ_SECONDS 60 CACHE STRING "Time cap, in seconds, on each target's new inputs in a test run")
foreach(target IN LISTS LUMARIX_FUZZ_TARGETS)
  add_test(NAME fuzz_${target}
    COMMAND fuzz run ${target}
      --corpus "${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${target}"
      --corpus "${CMAKE_SOURCE_DIR}/tests/fuzz/regressions/${target}"
      --inputs ${LUMARIX_FUZZ_INPUTS} --seconds ${LUMARIX_FUZZ_SECONDS} --seed 1 --crashes "${CMAKE_BINARY_DIR}/fuzz-crashes")
  set_tests_properties(fuzz_${target} PROPERTIES TIMEOUT 300)
endforeach()

# The harness itself: an abort, a library assertion (checked build) or a trap in a target or in
# the mutator ends in the harness's report with the input in hand saved.
add_test(NAME fuzz_harness COMMAND fuzz selftest "${CMAKE_BINARY_DIR}/fuzz-selftest")
set_tests_properties(fuzz_harness PROPERTIES TIMEOUT 300)
