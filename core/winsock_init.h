// Counted start-up of the socket library (Windows Sockets 2.2). Every user that needs sockets
// takes a reference; the library starts with the first and stops with the last, so one user
// going away (or the HTTP client falling back to WinInet) never pulls sockets from under another.
#pragma once

// Starts the library when no reference is held yet. True when the library is up; a false answer
// holds no reference.
bool AcquireWinsock();
// Drops one reference taken by a successful AcquireWinsock; the last one stops the library.
void ReleaseWinsock();

// One reference held by an object for as long as it needs sockets.
class WinsockReference {
public:
    WinsockReference() = default;
    ~WinsockReference() { Release(); }
    WinsockReference(const WinsockReference&) = delete;
    WinsockReference& operator=(const WinsockReference&) = delete;

    // True when the library is up (taking the reference on the first call).
    bool Acquire() {
        if (!m_held)
            m_held = AcquireWinsock();
        return m_held;
    }
    void Release() {
        if (m_held)
            ReleaseWinsock();
        m_held = false;
    }

private:
    bool m_held = false;
};
