// SharedSocket, the socket wait and the blocking switch.
#include <winsock2.h>

#include "core/tcp_socket.h"

void SharedSocket::Reset(uintptr_t handle) {
    const uintptr_t old = m_handle.exchange(handle, std::memory_order_acq_rel);
    if (old != kClosedSocket && old != handle) {
        shutdown(static_cast<SOCKET>(old), SD_BOTH);
        closesocket(static_cast<SOCKET>(old));
    }
}

void SharedSocket::Close() {
    Reset(kClosedSocket);
}

int WaitForSocket(uintptr_t socket, SocketWait what, int timeoutMs, bool* failed) {
    if (failed)
        *failed = false;
    if (socket == kClosedSocket)
        return -1;
    const SOCKET handle = static_cast<SOCKET>(socket);
    fd_set ready;
    fd_set exceptions;
    FD_ZERO(&ready);
    FD_ZERO(&exceptions);
    FD_SET(handle, &ready);
    FD_SET(handle, &exceptions);
    timeval wait;
    wait.tv_sec = timeoutMs / 1000;
    wait.tv_usec = (timeoutMs % 1000) * 1000;
    const int n = what == SocketWait::Readable ? select(0, &ready, nullptr, &exceptions, &wait)
                                               : select(0, nullptr, &ready, &exceptions, &wait);
    if (n == SOCKET_ERROR)
        return -1;
    if (failed && n > 0)
        *failed = FD_ISSET(handle, &exceptions) != 0;
    // Readiness or an exception (a failed connect shows there) both end the wait.
    return n > 0 ? 1 : 0;
}

bool SetSocketBlocking(uintptr_t socket, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(static_cast<SOCKET>(socket), FIONBIO, &nonBlocking) == 0;
}
