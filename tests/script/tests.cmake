
# --- The loopback HTTP server of the core tests: the reader reads tours over it ---
set_property(TEST script APPEND PROPERTY FIXTURES_REQUIRED core_http_server)
