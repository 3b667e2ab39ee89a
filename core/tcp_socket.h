// A socket handle that more than one thread may look at: the thread using a link reads it while
// another thread may close it to end a wait (the camera server is stopped by closing its
// listening socket). Closed exactly once, by whoever comes first.
#pragma once

#include <atomic>
#include <cstdint>

// The closed handle (INVALID_SOCKET: all bits set, -1 as a signed value).
constexpr uintptr_t kClosedSocket = ~static_cast<uintptr_t>(0);

class SharedSocket {
public:
    SharedSocket() = default;
    ~SharedSocket() { Close(); }
    SharedSocket(const SharedSocket&) = delete;
    SharedSocket& operator=(const SharedSocket&) = delete;

    uintptr_t Get() const { return m_handle.load(std::memory_order_acquire); }
    bool IsOpen() const { return Get() != kClosedSocket; }
    // Takes ownership of a new handle, closing the one held before.
    void Reset(uintptr_t handle);
    // Shuts both directions down and closes; a no-op when already closed.
    void Close();

private:
    std::atomic<uintptr_t> m_handle{kClosedSocket};
};

enum class SocketWait {
    Readable,   // data, a closed peer, or a pending connection on a listening socket
    Writable,   // room to send, or a finished connect
};

// Waits at most timeoutMs for the socket: 1 ready, 0 not yet, -1 no socket or a failed wait (a
// failed connect counts as ready for Writable: the caller asks the socket's error, or passes
// failed to learn that the socket reported an exception).
int WaitForSocket(uintptr_t socket, SocketWait what, int timeoutMs, bool* failed = nullptr);

// Switches the socket between blocking and non-blocking calls; false when that failed.
bool SetSocketBlocking(uintptr_t socket, bool blocking);
