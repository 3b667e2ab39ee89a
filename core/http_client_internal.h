// Shared by the files of the HTTP client only: the stream's network buffers and the small steps
// the files call across each other.
#pragma once

#include <cstdint>
#include <memory>

#include "core/http_client.h"
#include "core/stream.h"

struct StreamCore::NetworkBuffers {
    char head[kResponseHeadLimit + 1];        // the response head as received (original case)
    char lowerHead[kResponseHeadLimit + 1];   // the head alone, lower-cased and terminated
    bool headComplete;                        // the head ended with an empty line
    int headExtra;                            // body bytes that arrived behind the head
    std::unique_ptr<uint8_t[]> decoded;       // body bytes of the last receive, chunking undone
    std::unique_ptr<uint8_t[]> raw;           // a chunked receive before decoding, made when needed
    uint8_t* shared = nullptr;                // a large receive of the process's few, while unread
};

// Starts the socket library (and the WinInet session in WinInet mode) when nobody has.
bool EnsureNetworkStarted();
void* CreateInternetSession();
void CloseInternetSession(void* session);

// The status after the first blank within the first length - 4 bytes; 0 when there is none.
int ParseHttpStatus(const char* head, int length);
// The value of a header (name lower-case with its ':'), looked up line by line in the
// lower-cased head and copied from the original head at the same place, blanks trimmed.
bool FindHttpHeader(const char* lowerHead, const char* head, int length, const char* name,
                    CTexto* value);
