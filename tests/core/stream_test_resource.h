// Resources the stream tests read (compiled from stream_test.rc into the core tests).
#define STREAM_TEST_RESOURCE_ID 9120
#define STREAM_TEST_RESOURCE_TEXT "Lumarix stream resource"
