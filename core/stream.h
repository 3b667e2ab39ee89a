// CFicheroHttp: the program's one stream type. Files, URLs, program resources, package entries,
// memory blocks and TCP links are all read and written through it, so decoders and readers never
// care where their bytes come from. One object serves one source at a time and can be opened,
// closed and opened again.
//
// The stream's whole state lives in a StreamCore that the owner shares with a worker thread that
// still uses the stream (ShareWithWorker): whichever side lets go last frees it, so a worker that
// is still blocked in a receive when the owner goes away never touches freed memory.
//
// StreamCore's methods are spread over core/stream_*.cpp by source kind: stream_open.cpp
// (dispatch of Open, Close, lifecycle), stream_file.cpp (local files), stream_memory.cpp (memory
// sources and memory mode), stream_resource.cpp (program resources), stream_io.cpp
// (Read/Write/Seek dispatch, speed limit, CopyFrom), stream_scramble.cpp (package key mask) and
// stream_http.cpp (URLs). Network sources add their own files.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/tcp_socket.h"
#include "core/text_string.h"
#include "core/winsock_init.h"
#include "platform/worker_thread.h"

// Flag word of CFicheroHttp::Open.
enum OpenFlags : unsigned {
    OpenRead = 0x0,
    OpenWrite = 0x2,              // open a local file for writing
    OpenReadWrite = 0x4,          // reading and writing, never truncated, no overwrite question
    OpenCreate = 0x8,             // with OpenWrite: an existing file is truncated
    OpenExclusive = 0x10,         // reading: deny other processes all access
    OpenNoOverwritePrompt = 0x20, // writing: no question when the file exists
    OpenAppend = 0x40,            // position at the end after opening
    OpenNoPackage = 0x80,         // never look the name up in the package table
    OpenReportErrors = 0x100,     // report a failure to the user (message or "filenotfound")
};

// Any of these keeps a name out of the package table.
constexpr unsigned kOpenPackageBypassMask =
    OpenWrite | OpenReadWrite | OpenCreate | OpenAppend | OpenNoPackage;

// State of a memory source (m_memState).
enum BufferState : int {
    BufferIdle = 0,          // nothing being filled; also a memory-mode buffer being written
    BufferFilling = 1,       // a producer is still filling the block: readers wait
    BufferComplete = 2,
    BufferFailed = 3,        // readers get nothing
    BufferStillFilling = 4,  // treated like BufferFilling
};

// How SetBuffer treats the caller's block.
enum class BufferUse {
    Copy,     // copied into the stream's own buffer; the caller may free the block at once
    InPlace,  // read where it is; the block must outlive the reading
};

// Which kind of source a stream is open on.
enum class StreamSource {
    None,
    File,      // local file (also the program file holding a package entry)
    Memory,    // resource, caller's block, producer-filled block or memory-mode buffer
    Http,
    Tcp,
};

// Lines of the language table used for the stream's user messages.
enum StreamMessageLine : int {
    kLineCannotOpenToRead = 1,   // "ERROR: Cannot open the file to read"
    kLineFileDoesNotExist = 2,   // "ERROR: File does not exist"
    kLineReplaceQuestion = 3,    // "The file already exists, Replace existing file?"
    kLineCannotOpenToWrite = 4,  // "ERROR: Cannot open the file to write"
};

constexpr int kPackageKeySize = 256;
constexpr int kCopyChunkSize = 64000;           // CopyFrom moves at most this much per read
constexpr int kMemoryModeInitialSize = 65536;   // buffer of a fresh memory-mode stream
constexpr int kMemoryModeGrowth = 65536;        // extra room taken when a memory-mode write grows
constexpr int kMemoryModeSlack = 10;            // bytes kept free past a memory-mode write
constexpr int kStreamPollMs = 10;               // waits for producers and worker threads
constexpr int kSpeedLimitMaxWaitMs = 5000;      // longest pause one read takes for the speed limit
constexpr int kMemoryStallLimitMs = 60000;      // a producer silent this long ends a reader's wait
// The owner's wait for a worker still using the stream when it goes away: the worker has been
// cancelled and its socket shut down by then, so it normally ends at once; past this the owner
// leaves the stream's state to the worker.
constexpr int kStreamWorkerWaitMs = 500;

// Download speed limit in kbit/s (0 = none), chosen in the "Download speed" menu.
extern std::atomic<float> g_downloadSpeed;
// Default of a new stream's use of the disk cache.
extern std::atomic<int> g_cacheEnabled;
// Folder of the disk cache; a stream's construction fills it ("%temp%\Lumarix") when empty.
extern CTexto g_cacheFolder;

// Where a name lives in the running package, as the package reader answers it.
struct PackageEntryLocation {
    const char* packagePath = nullptr;   // the program file that holds the entries
    uint32_t dataPosition = 0;           // absolute position of the entry's first byte
    uint32_t size = 0;
    int32_t keyLength = 0;
    int32_t keyOffset = 0;
    int32_t scrambleWord = -1;
    const uint8_t* key = nullptr;        // kPackageKeySize bytes
};

enum class PackageLookup {
    NoPackage,   // the program is not running from a package
    Found,
    Missing,
};

// The package reader's answer for a name (exact, case-sensitive match against the entries'
// absolute names). Defined with the package table.
PackageLookup LookupPackageEntry(const char* name, PackageEntryLocation* entry);

class HttpTransport;

class StreamCore {
public:
    StreamCore();
    // Closes what is open and frees every buffer. Runs on whichever side lets go last: the
    // stream's owner or a worker thread that still held a share.
    virtual ~StreamCore();
    StreamCore(const StreamCore&) = delete;
    StreamCore& operator=(const StreamCore&) = delete;

    // Opens a package entry, an http:// URL, a memory-mode buffer or a local file, in that order
    // of precedence. cancel, when given, is the word every later wait of this stream polls.
    // start is the position of the first read. Non-zero on success.
    int Open(const char* name, unsigned flags = OpenRead, std::atomic<int>* cancel = nullptr,
             int64_t start = 0);
    // The program's own resource as a complete memory source. 1 or 0.
    int OpenResource(int resourceId, const char* resourceType);
    // A complete memory source over a caller's block. False (stream closed) when a copy cannot
    // be had.
    bool SetBuffer(const void* data, int64_t size, BufferUse use);
    void Close();

    // Bytes read, never negative; 0 at the end, on failure, on a closed stream or when cancelled.
    int Read(void* buffer, int count);
    // 4 or 2 bytes, reversed end for end when m_bigEndian is set; answer the bytes read.
    int ReadInt32(uint32_t* value);
    int ReadInt32(int32_t* value);
    int ReadInt16(uint16_t* value);
    int ReadInt16(int16_t* value);
    // Writes at the position and advances it; answers the bytes written (less than count when
    // the file or the memory cannot take them).
    int Write(const void* data, int count);
    // Position relative to the source's start; answers the new position, or -1 (position
    // unchanged) when the source cannot be positioned.
    int64_t Seek(int64_t position);
    int64_t SeekToEnd();
    // Length of the source in bytes, -1 while unknown.
    int64_t GetLength();
    int64_t GetPosition() const { return m_position - m_entryBase; }
    // Copies the whole of another source into this stream; answers the bytes copied (0 when
    // the source cannot be opened or its length is unknown).
    int64_t CopyFrom(const char* sourceName, unsigned flags);

    static bool IsHttpUrl(const char* name);

    // --- Filling a memory source from a producer thread while another thread reads it ---
    // Makes the stream a memory source being filled: a buffer of capacity bytes, length the
    // final size or -1 when unknown. False when the buffer cannot be had.
    bool BeginFill(int64_t capacity, int64_t length);
    // Appends produced bytes and publishes them to readers; answers how many fitted.
    int AppendFill(const void* data, int count);
    // Ends the fill: complete (an unknown length becomes what was filled) or failed.
    void EndFill(bool succeeded);

    // --- Package key mask (the same operation scrambles and descrambles) ---
    // out[i] = in[i] masked for absolute position + i; a plain copy unless m_scrambleOff is 0.
    void ScrambleBytes(uint8_t* out, const uint8_t* in, int count, uint32_t position) const;
    void DescrambleBytes(uint8_t* buffer, int count, uint32_t position) const;

    const CTexto& GetName() const { return m_name; }
    int IsOpen() const { return m_isOpen; }
    StreamSource GetSource() const { return m_source; }
    bool IsSeekable() const { return m_seekable != 0; }
    // The memory source's bytes (the memory-mode buffer after writes); null when there is none.
    const uint8_t* GetMemoryData() const { return m_memData; }
    int64_t GetMemoryFilled() const { return m_memFilled.load(std::memory_order_acquire); }
    BufferState GetMemoryState() const {
        return static_cast<BufferState>(m_memState.load(std::memory_order_acquire));
    }
    bool IsCancelled() const;

    // --- Public settings; they persist across opens until changed ---
    std::atomic<int> m_cancel{0};   // the stream's own cancel word
    uint8_t m_memoryMode = 0;       // Open with an empty name makes a growable memory buffer
    uint8_t m_bigEndian = 0;        // ReadInt32/ReadInt16 swap bytes
    // Package key; the mask applies only while m_scrambleOff is exactly 0.
    int32_t m_keyLength = 0;
    int32_t m_keyOffset = 0;
    int32_t m_scrambleOff = -1;
    uint8_t m_key[kPackageKeySize] = {};
    // A worker thread still using this stream; it clears the slot when done (StartWorkerThread
    // can be given this slot). It reaches the stream only through a ShareWithWorker handle.
    WorkerThreadSlot m_workerThread{nullptr};

    // The owner is going away while a worker may still use the stream: raises the cancel word,
    // stops looking at a borrowed cancel word (its lender may go too) and shuts the sockets down
    // so that blocked sends, receives and accepts return. Any thread may call it.
    void InterruptForOwnerExit();

private:
    // stream_open.cpp
    int OpenLocalOrMemory(const char* name, unsigned flags, int64_t start);
    void ReportMissingFile(const char* name);
    void ResetEntry();
    void CloseSource();

    // stream_http.cpp
    int OpenHttp(const char* url, unsigned flags, int64_t start);

    // stream_file.cpp
    int OpenFileForReading(const char* name, unsigned flags, int64_t start);
    int OpenFileForWriting(const char* name, unsigned flags, int64_t start);
    int ReadLocalFile(void* buffer, int count);
    int WriteLocalFile(const void* data, int count);
    int64_t SeekFile(int64_t target);
    int64_t GetFileLength() const;
    void CloseFile();
    // Makes the open file (a HANDLE) the source, positioned at start; 0, the file closed, when
    // it cannot get there.
    int UseOpenFile(void* file, int64_t start);

    // stream_memory.cpp
    int OpenMemoryMode();
    // Opens the stream over size bytes at data that are all there already.
    void UseWholeBuffer(const uint8_t* data, int64_t size);
    int ReadMemory(void* buffer, int count);
    int WriteMemoryMode(const void* data, int count);
    int64_t SeekMemory(int64_t target);
    // Waits while a producer fills and fewer than needed bytes are there; bounded.
    void WaitForMemory(int64_t needed) const;
    void FreeMemoryBuffer();

    // stream_io.cpp
    void ApplySpeedLimit(int bytesRead, float startSeconds) const;

    CTexto m_name;                   // the name as last opened (a package entry: the package file)
    StreamSource m_source = StreamSource::None;
    void* m_file = nullptr;          // HANDLE of the open local file, null otherwise
    int m_isOpen = 0;                // result of the last Open; non-zero while a source is open
    std::atomic<int64_t> m_length{0};   // -1 while unknown; set by a producer's EndFill
    int64_t m_position = 0;          // absolute: a package entry's base included
    // The cancel word the stream polls: its own or one lent by Open; atomic because the owner
    // takes a lent word back (InterruptForOwnerExit) while a worker may be reading.
    std::atomic<std::atomic<int>*> m_cancelFlag{&m_cancel};
    uint8_t m_seekable = 0;

    // Open package entry.
    uint32_t m_entryBase = 0;
    uint32_t m_entrySize = 0;
    bool m_entryOpen = false;        // an entry is open (also one of size 0)
    bool m_keyFromPackage = false;   // Open copied the package key; Close gives it back

    // Memory source.
    uint8_t* m_memBuffer = nullptr;      // owned: memory-mode buffer, SetBuffer copy, fill buffer
    const uint8_t* m_memData = nullptr;  // bytes being read: own buffer, caller's block, resource
    std::atomic<int64_t> m_memFilled{0};
    std::atomic<int> m_memState{BufferIdle};
    int64_t m_memCapacity = 0;

    // ===================== HTTP transfers and the disk cache =====================
    // core/stream_http.cpp (open through the download gate, read, seek, close),
    // core/http_client.cpp (URL, request, response head, redirects), core/http_client_network.cpp
    // (sockets, proxy, receiving, chunked decoding), core/http_client_wininet.cpp (the WinInet
    // fallback) and core/disk_cache.cpp. The connection socket, its address and ConnectSocket
    // are shared with TCP links.
public:
    // Engines call StartupNetwork once each and ShutdownNetwork once each; the last
    // ShutdownNetwork stops the socket library and the WinInet session. A transfer that finds
    // the network stopped starts it without counting.
    static bool StartupNetwork();
    static void ShutdownNetwork();
    // Forbids the process-wide switch to WinInet (raw sockets of TCP links must keep working).
    static void SetWinInetDisabled(bool disabled);

    // Sends the request for url and reads the response head; the stream is then open on it.
    // Non-zero on success. Open calls it through the download gate.
    int OpenUrl(const char* url, std::atomic<int>* cancel, int64_t start, unsigned flags);
    // Connects to m_host:m_port, or to the user's proxy, and builds m_requestHead. timeoutMs 0
    // waits as long as the system would, and then a failed direct connect is tried again
    // through the proxy. allowProxy false never uses the proxy. 1 connected, 0 not.
    int ConnectSocket(int timeoutMs, bool allowProxy = true);
    // Connect result -1, not connected; the connection socket shut down and closed.
    void CloseSocket();
    // Close, then delete the cache files of the stream's last HTTP transfer, so that a damaged
    // download is fetched again.
    void CloseAndDeleteCache();

    // Byte ranges present in the cache data file (absolute positions, end exclusive).
    struct ByteRange {
        int64_t start;
        int64_t end;
    };
    // Bytes the data file holds from position on, at most count; 0 when none.
    int CachedBytesAt(int64_t position, int count) const;
    // Records that [position, position + count) is now in the data file.
    void AddRange(int64_t position, int64_t count);
    // Writes every range as (u32 start, u32 end) into the range-map file.
    bool WriteRangeMap();
    // One range (0, 0) is left.
    void ClearRanges();
    // Reads a range-map file for a download of total bytes: ordered, non-overlapping pairs
    // within the total, joined where they touch and starting with (0, 0) when the first does not
    // start at 0. False, out untouched, for anything else.
    static bool ReadRangeMap(StreamCore& map, int64_t total, std::vector<ByteRange>* out);
    const std::vector<ByteRange>& GetRanges() const { return m_ranges; }

    const CTexto& GetFullUrl() const { return m_fullUrl; }
    const CTexto& GetRequestHead() const { return m_requestHead; }
    const CTexto& GetCacheDataName() const { return m_cacheDataName; }
    bool IsCacheInUse() const { return m_cacheInUse != 0; }
    bool IsCacheWriting() const { return m_cacheWriting != 0; }
    bool IsViaWinInet() const { return m_winInetRequest != nullptr; }

    uint8_t m_followRedirects = 1;        // follow 301, 302, 303 and 307 answers
    const char* m_postBody = nullptr;     // form-encoded POST body; null means GET
    uint8_t m_useCache = g_cacheEnabled.load() ? 1 : 0;
    uint8_t m_sessionOnly = 0;            // the data file is kept for this session only
    HttpTransport* m_transport = nullptr; // not owned; null: sockets (or WinInet)

private:
    struct NetworkBuffers;
    struct NetworkBuffersFree {
        void operator()(NetworkBuffers* buffers) const;
    };

    // stream_http.cpp
    int ReadHttp(void* buffer, int count);
    int64_t SeekHttp(int64_t target);
    void CloseNetwork();
    // http_client.cpp
    int OpenUrlHop(const char* url, int64_t start, unsigned flags, int hops);
    bool SplitUrl(const char* url);
    void BuildExtraHeaders();
    void BuildRequestHead(bool viaProxyFullUrl);
    int SendRequest();
    void ReportBadStatus(unsigned flags);
    // http_client_network.cpp
    int OpenConnection();
    int SendSocketRequest();
    int ReceiveSome(uint8_t* buffer, int count);
    // http_client_body.cpp
    bool EnsureNetworkBuffers();
    void ResetReceiveState();
    void DropConnection();
    bool IsConnected() const;
    int ReceiveHead();
    bool RequestFromPosition();
    bool AcceptRequestHead();
    int64_t ContentRangeStart() const;
    void StartBody(int64_t bodyStart);
    void DecodeReceived(const uint8_t* bytes, int count);
    void DeliverFromNetwork(uint8_t* buffer, const uint8_t* bytes, int count);
    int ReadNetwork(uint8_t* buffer, int count);
    // http_client_wininet.cpp
    int OpenWinInetRequest();
    int SendWinInetRequest();
    int AuthenticateWinInet(int headLength);
    int ReadWinInet(uint8_t* buffer, int count);
    void CloseWinInetRequest();
    // disk_cache.cpp
    void DecideCache();
    void SettleCache();
    void StopUsingCache();
    int ReadFromCache(uint8_t* buffer, int count);
    void WriteToCache(const uint8_t* bytes, int count, int64_t position);
    bool LoadRangeMap(int64_t total);
    int64_t NextCachedStart(int64_t position) const;

    CTexto m_url;              // as asked for (before redirects)
    CTexto m_fullUrl;          // normalised, blanks escaped
    CTexto m_host;
    CTexto m_port{"80"};
    CTexto m_path;
    CTexto m_cacheBaseName;
    CTexto m_extraHeaders;
    CTexto m_requestHead;
    CTexto m_cacheDataName;
    CTexto m_cacheMapName;

    // SOCKET, kClosedSocket when closed; atomic since the owner may shut it down from its thread.
    std::atomic<uintptr_t> m_socket{kClosedSocket};
    int m_connectResult = -1;
    uint8_t m_socketAddress[128] = {};                  // address of the last connection
    void* m_winInetConnection = nullptr;                // HINTERNET
    void* m_winInetRequest = nullptr;                   // HINTERNET
    bool m_downloadCounted = false;    // this stream raised the open-download count

    std::unique_ptr<NetworkBuffers, NetworkBuffersFree> m_net;   // head and receive buffers, made by the first URL
    int m_headLength = 0;
    int m_recvIndex = 0;                      // next unread byte of the decoded buffer
    int m_recvFill = 0;
    int64_t m_networkPosition = -1;    // next byte the connection delivers; -1 none, -2 pending
    int64_t m_skipUntil = -1;          // a 200 re-request: bytes before this are dropped
    int m_status = 0;                  // status of the last response head
    // Chunked transfer coding.
    bool m_chunked = false;
    bool m_chunkedDone = false;        // the zero-size chunk arrived
    int m_chunkState = 0;
    int64_t m_chunkRemaining = 0;
    int m_chunkLineLength = 0;
    bool m_chunkDigits = false;

    // Disk cache.
    std::unique_ptr<StreamCore> m_cacheStream;
    uint8_t m_cacheInUse = 0;
    uint8_t m_cacheWriting = 0;
    bool m_cacheLocked = false;        // this stream holds the data file's writer lock
    std::vector<ByteRange> m_ranges{ByteRange{0, 0}};

    // ================================ TCP links ================================
    // core/stream_tcp.cpp. A link is opened by Connect or Accept instead of Open and ended by
    // Close. It uses the connection socket, its address, m_host and m_port of the HTTP section
    // (never the proxy); the listening socket, the greeting and the waits are its own.
public:
    // Connects to "host" or "host:port" (a port after ':' wins over defaultPort), then sends
    // this process's id as 4 bytes (the greeting). timeoutMs bounds the connect and becomes
    // the send and receive time-out; 0 waits as long as the system would and uses 5000 ms
    // time-outs. cancel, when given, is polled by every wait. 1 connected, 0 not.
    int Connect(const char* hostText, int defaultPort, std::atomic<int>* cancel = nullptr,
                int timeoutMs = 0);
    // Listens on every local IPv4 address at port (0: a free port, see GetListenPort). The
    // time-out (0: 5000 ms) bounds each Accept's wait. 1 or 0.
    int Listen(int port, std::atomic<int>* cancel = nullptr, int timeoutMs = 0);
    // Waits for one incoming connection and makes it this stream's link (a link still open is
    // closed first), then receives the peer's greeting. 1 with a connection, whatever the
    // greeting delivered; 0 when the wait ended (time-out, cancel, listening socket closed).
    int Accept();
    // Sends all count bytes on socket (kClosedSocket: the link's own) unless the cancel word rises,
    // the socket fails or the send time-out passes without progress. Answers the bytes sent.
    int Send(const void* data, int count, uintptr_t socket = kClosedSocket);
    // Receives exactly count bytes unless the cancel word rises, the socket fails, the peer
    // closes or the receive time-out passes without progress. Answers the bytes received.
    int Recv(void* buffer, int count);
    // Ends listening; any thread may call it, and a waiting Accept returns 0.
    void CloseListenSocket();
    void CloseConnection() { Close(); }

    // The greeting of the last accepted peer; kept from before when a greeting came short.
    uint32_t GetPeerProcessId() const { return m_peerProcessId; }
    // IPv4 address (host byte order) and port of the last connection or accept; 0 when none.
    uint32_t GetPeerAddress() const;
    int GetPeerPort() const;
    // The port the listening socket is bound to; 0 when not listening.
    int GetListenPort() const;
    bool IsListening() const { return m_listenSocket.IsOpen(); }
    const CTexto& GetHost() const { return m_host; }
    const CTexto& GetPortText() const { return m_port; }

private:
    // Waits for the socket in short slices, polling cancel; 1 ready, 0 not within limitMs or
    // cancelled, -1 socket closed or failed.
    int WaitLink(const SharedSocket* shared, uintptr_t socket, SocketWait what, int limitMs,
                 const std::atomic<int>* cancel) const;
    void SetLinkTimeouts(uintptr_t socket, int timeoutMs);
    void BecomeLink(uintptr_t socket, const void* address, int addressLength);

    WinsockReference m_winsock;               // held from the first link until destruction
    SharedSocket m_listenSocket;              // closed before m_winsock lets the library go
    uint32_t m_peerProcessId = 0;
    int m_linkTimeoutMs = 5000;               // send and receive time-out of the link
    int m_listenTimeoutMs = 5000;             // bound of one Accept's wait
    std::atomic<int>* m_listenCancel = nullptr;   // the cancel word given to Listen
};

// A share of a stream's state that a worker thread keeps while it uses the stream.
using StreamHandle = std::shared_ptr<StreamCore>;

class CFicheroHttp {
    StreamHandle m_core;   // first: the public references below point into it

public:
    CFicheroHttp();
    // With no worker using the stream, closes it at once. Otherwise cancels the worker, shuts its
    // sockets down, waits at most kStreamWorkerWaitMs for it and leaves it the state, which it
    // frees when it lets go.
    virtual ~CFicheroHttp();
    CFicheroHttp(const CFicheroHttp&) = delete;
    CFicheroHttp& operator=(const CFicheroHttp&) = delete;

    // The handle a worker thread uses instead of this object; it keeps the state alive.
    StreamHandle ShareWithWorker() const { return m_core; }
    StreamCore& Core() { return *m_core; }

    using ByteRange = StreamCore::ByteRange;

    int Open(const char* name, unsigned flags = OpenRead, std::atomic<int>* cancel = nullptr,
             int64_t start = 0) { return m_core->Open(name, flags, cancel, start); }
    int OpenResource(int resourceId, const char* resourceType) {
        return m_core->OpenResource(resourceId, resourceType);
    }
    bool SetBuffer(const void* data, int64_t size, BufferUse use) {
        return m_core->SetBuffer(data, size, use);
    }
    void Close() { m_core->Close(); }
    int Read(void* buffer, int count) { return m_core->Read(buffer, count); }
    int ReadInt32(uint32_t* value) { return m_core->ReadInt32(value); }
    int ReadInt32(int32_t* value) { return m_core->ReadInt32(value); }
    int ReadInt16(uint16_t* value) { return m_core->ReadInt16(value); }
    int ReadInt16(int16_t* value) { return m_core->ReadInt16(value); }
    int Write(const void* data, int count) { return m_core->Write(data, count); }
    int64_t Seek(int64_t position) { return m_core->Seek(position); }
    int64_t SeekToEnd() { return m_core->SeekToEnd(); }
    int64_t GetLength() { return m_core->GetLength(); }
    int64_t GetPosition() const { return m_core->GetPosition(); }
    int64_t CopyFrom(const char* sourceName, unsigned flags) {
        return m_core->CopyFrom(sourceName, flags);
    }
    static bool IsHttpUrl(const char* name) { return StreamCore::IsHttpUrl(name); }
    bool BeginFill(int64_t capacity, int64_t length) { return m_core->BeginFill(capacity, length); }
    int AppendFill(const void* data, int count) { return m_core->AppendFill(data, count); }
    void EndFill(bool succeeded) { m_core->EndFill(succeeded); }
    void ScrambleBytes(uint8_t* out, const uint8_t* in, int count, uint32_t position) const {
        m_core->ScrambleBytes(out, in, count, position);
    }
    void DescrambleBytes(uint8_t* buffer, int count, uint32_t position) const {
        m_core->DescrambleBytes(buffer, count, position);
    }
    const CTexto& GetName() const { return m_core->GetName(); }
    int IsOpen() const { return m_core->IsOpen(); }
    StreamSource GetSource() const { return m_core->GetSource(); }
    bool IsSeekable() const { return m_core->IsSeekable(); }
    const uint8_t* GetMemoryData() const { return m_core->GetMemoryData(); }
    int64_t GetMemoryFilled() const { return m_core->GetMemoryFilled(); }
    BufferState GetMemoryState() const { return m_core->GetMemoryState(); }
    bool IsCancelled() const { return m_core->IsCancelled(); }

    // HTTP transfers and the disk cache.
    static bool StartupNetwork() { return StreamCore::StartupNetwork(); }
    static void ShutdownNetwork() { StreamCore::ShutdownNetwork(); }
    static void SetWinInetDisabled(bool disabled) { StreamCore::SetWinInetDisabled(disabled); }
    int OpenUrl(const char* url, std::atomic<int>* cancel, int64_t start, unsigned flags) {
        return m_core->OpenUrl(url, cancel, start, flags);
    }
    int ConnectSocket(int timeoutMs, bool allowProxy = true) {
        return m_core->ConnectSocket(timeoutMs, allowProxy);
    }
    void CloseSocket() { m_core->CloseSocket(); }
    void CloseAndDeleteCache() { m_core->CloseAndDeleteCache(); }
    int CachedBytesAt(int64_t position, int count) const {
        return m_core->CachedBytesAt(position, count);
    }
    void AddRange(int64_t position, int64_t count) { m_core->AddRange(position, count); }
    bool WriteRangeMap() { return m_core->WriteRangeMap(); }
    void ClearRanges() { m_core->ClearRanges(); }
    const std::vector<ByteRange>& GetRanges() const { return m_core->GetRanges(); }
    const CTexto& GetFullUrl() const { return m_core->GetFullUrl(); }
    const CTexto& GetRequestHead() const { return m_core->GetRequestHead(); }
    const CTexto& GetCacheDataName() const { return m_core->GetCacheDataName(); }
    bool IsCacheInUse() const { return m_core->IsCacheInUse(); }
    bool IsCacheWriting() const { return m_core->IsCacheWriting(); }
    bool IsViaWinInet() const { return m_core->IsViaWinInet(); }

    // TCP links.
    int Connect(const char* hostText, int defaultPort, std::atomic<int>* cancel = nullptr,
                int timeoutMs = 0) { return m_core->Connect(hostText, defaultPort, cancel, timeoutMs); }
    int Listen(int port, std::atomic<int>* cancel = nullptr, int timeoutMs = 0) {
        return m_core->Listen(port, cancel, timeoutMs);
    }
    int Accept() { return m_core->Accept(); }
    int Send(const void* data, int count, uintptr_t socket = kClosedSocket) {
        return m_core->Send(data, count, socket);
    }
    int Recv(void* buffer, int count) { return m_core->Recv(buffer, count); }
    void CloseListenSocket() { m_core->CloseListenSocket(); }
    void CloseConnection() { m_core->CloseConnection(); }
    uint32_t GetPeerProcessId() const { return m_core->GetPeerProcessId(); }
    uint32_t GetPeerAddress() const { return m_core->GetPeerAddress(); }
    int GetPeerPort() const { return m_core->GetPeerPort(); }
    int GetListenPort() const { return m_core->GetListenPort(); }
    bool IsListening() const { return m_core->IsListening(); }
    const CTexto& GetHost() const { return m_core->GetHost(); }
    const CTexto& GetPortText() const { return m_core->GetPortText(); }

    // The public settings, kept in the shared state.
    std::atomic<int>& m_cancel;
    uint8_t& m_memoryMode;
    uint8_t& m_bigEndian;
    int32_t& m_keyLength;
    int32_t& m_keyOffset;
    int32_t& m_scrambleOff;
    uint8_t (&m_key)[kPackageKeySize];
    WorkerThreadSlot& m_workerThread;
    uint8_t& m_followRedirects;
    const char*& m_postBody;
    uint8_t& m_useCache;
    uint8_t& m_sessionOnly;
};
