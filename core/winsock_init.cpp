// Counted WSAStartup/WSACleanup.
#include "core/winsock_init.h"

#include <winsock2.h>

#include <mutex>

namespace {

std::mutex g_winsockLock;
int g_winsockUsers = 0;

}  // namespace

bool AcquireWinsock() {
    std::lock_guard<std::mutex> hold(g_winsockLock);
    if (g_winsockUsers == 0) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            return false;
        if (data.wVersion != MAKEWORD(2, 2)) {
            WSACleanup();
            return false;
        }
    }
    ++g_winsockUsers;
    return true;
}

void ReleaseWinsock() {
    std::lock_guard<std::mutex> hold(g_winsockLock);
    if (g_winsockUsers <= 0)
        return;
    if (--g_winsockUsers == 0)
        WSACleanup();
}
