// The "CAB" resource the cabinet tests extract (compiled from cabinet_test.rc into the core
// tests). Its low byte is not 0, so the id can be handed over as a text.
#define CABINET_TEST_RESOURCE_ID 9125
