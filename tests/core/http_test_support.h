// Shared by the HTTP client and disk cache tests: the loopback server started by the test run
// (tests/core/http_test_server.py), its test pattern, its request log, and running a group of
// tests in a child process when they change process-wide network state for good.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/http_client.h"
#include "core/stream.h"
#include "test_support.h"

namespace http_test {

// Set in a child process started by RunChild.
constexpr const char* kChildVariable = "LUMARIX_HTTP_CHILD";
constexpr int kPatternBlock = 65521;

inline uint8_t PatternByte(int64_t i) {
    const uint32_t j = static_cast<uint32_t>(i % kPatternBlock);
    return static_cast<uint8_t>((static_cast<uint32_t>(j * 2654435761u) >> 13) & 0xFF);
}

// Index of the first byte that differs from the pattern at offset; -1 when all match.
inline int64_t PatternMismatch(const uint8_t* bytes, int64_t count, int64_t offset) {
    for (int64_t i = 0; i < count; ++i) {
        if (bytes[i] != PatternByte(offset + i))
            return i;
    }
    return -1;
}

// The server's port, 0 when the fixture did not start it.
inline int ServerPort() {
    static int port = -1;
    if (port < 0) {
        port = 0;
        std::string path = test_support::BuildPath("test-fixtures\\http-server\\port");
        FILE* f = std::fopen(path.c_str(), "r");
        if (f) {
            if (std::fscanf(f, "%d", &port) != 1)
                port = 0;
            std::fclose(f);
        }
    }
    return port;
}

inline std::string Origin() {
    return "http://127.0.0.1:" + std::to_string(ServerPort());
}

inline std::string Url(const std::string& path) {
    return Origin() + path;
}

// A tag no other test (or earlier run against the same server) has used.
inline std::string NewTag(const char* what) {
    static LONG counter = 0;
    char tag[96];
    std::snprintf(tag, sizeof tag, "%s-%lu-%lu-%ld", what, static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long>(GetTickCount()), static_cast<long>(InterlockedIncrement(&counter)));
    return tag;
}

// A plain GET over our own raw socket (not the code under test); the whole answer body.
inline std::string RawGet(const std::string& path) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    std::string body;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(ServerPort()));
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    DWORD timeout = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        send(s, request.data(), static_cast<int>(request.size()), 0);
        std::string all;
        char chunk[65536];
        int n;
        while ((n = recv(s, chunk, sizeof chunk, 0)) > 0) {
            all.append(chunk, n);
            size_t end = all.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t length = all.find("Content-Length: ");
                if (length != std::string::npos && length < end &&
                    all.size() >= end + 4 + std::strtoul(all.c_str() + length + 16, nullptr, 10))
                    break;
            }
        }
        size_t end = all.find("\r\n\r\n");
        if (end != std::string::npos)
            body = all.substr(end + 4);
    }
    if (s != INVALID_SOCKET)
        closesocket(s);
    WSACleanup();
    return body;
}

// Every raw request the server recorded under the tag, in arrival order.
inline std::vector<std::string> Requests(const std::string& tag) {
    std::string log = RawGet("/_log?tag=" + tag);
    std::vector<std::string> out;
    size_t at = 0;
    while (at + 8 <= log.size()) {
        size_t length = std::strtoul(log.substr(at, 8).c_str(), nullptr, 10);
        if (at + 8 + length > log.size())
            break;
        out.push_back(log.substr(at + 8, length));
        at += 8 + length;
    }
    return out;
}

// "Range: bytes=N-" of a raw request; -1 without one.
inline int64_t RangeOf(const std::string& request) {
    size_t at = request.find("Range: bytes=");
    return at == std::string::npos ? -1 : std::strtoll(request.c_str() + at + 13, nullptr, 10);
}

// The largest number of requests of the tag the server was answering at once.
inline int MaxConcurrent(const std::string& tag) {
    std::string stats = RawGet("/_stats?tag=" + tag);
    size_t at = stats.find("maxconc=");
    return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + 8);
}

// Reads the stream to its end in pieces; answers the bytes.
inline std::string ReadAll(CFicheroHttp& stream, int piece = 7000) {
    std::string out;
    std::vector<char> buffer(piece);
    for (;;) {
        int got = stream.Read(buffer.data(), piece);
        if (got <= 0)
            break;
        out.append(buffer.data(), got);
    }
    return out;
}

inline bool IsPattern(const std::string& bytes, int64_t offset = 0) {
    return PatternMismatch(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int64_t>(bytes.size()),
                           offset) < 0;
}

inline bool IsChild() {
    return GetEnvironmentVariableA(kChildVariable, nullptr, 0) > 0;
}

// Runs the tests matching the filter in a fresh process of this executable (process-wide
// network modes never leak into other tests); answers its exit code, -1 when it did not run.
inline int RunChild(const std::string& filter) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --gtest_filter=" + filter;
    SetEnvironmentVariableA(kChildVariable, "1");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    if (!started)
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 180000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// Base of the tests that talk to the server: the network up, the WinInet switch forbidden
// (child processes allow it), the cache off unless a test turns it on.
// Transfers start the network themselves, as they do before the first engine exists.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(ServerPort(), 0) << "the loopback server is not running: ctest starts it, or run "
                                      "tests/core/http_test_server.py start --state-dir <build>/test-fixtures/http-server";
        if (!IsChild()) {
            // Whatever earlier tests of this process did to the network mode (a refused
            // connection switches to WinInet for good) must not decide these.
            CFicheroHttp::SetWinInetDisabled(true);
            g_useWinInet = 0;
            ForgetProxy();
        }
        m_cacheWas = g_cacheEnabled.load();
        g_cacheEnabled = 0;
    }
    void TearDown() override {
        g_cacheEnabled = m_cacheWas;
        if (!IsChild())
            CFicheroHttp::SetWinInetDisabled(false);
    }

private:
    int m_cacheWas = 1;
};

}  // namespace http_test
