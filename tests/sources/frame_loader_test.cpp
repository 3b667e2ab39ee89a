// Frame loading: the loader thread, its dispatch, image lists, images from one stream, the
// binary panorama file's header, cancelling.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/stream.h"
#include "core/text_string.h"
#include "render/mesh.h"
#include "sources/frame.h"
#include "viewer/main_wnd.h"
#include "test_support.h"

namespace {

constexpr UINT kFrameReady = ViewerMessageFrameReady;
constexpr UINT kReloadScriptFile = ViewerMessageReloadScriptFile;

// A message-only window that collects what the loaders post.
class PostBox {
public:
    PostBox() {
        m_window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
    }
    ~PostBox() { DestroyWindow(m_window); }
    HWND Window() const { return m_window; }
    // The messages posted so far: (message, wParam).
    std::vector<std::pair<UINT, WPARAM>> Take() {
        std::vector<std::pair<UINT, WPARAM>> out;
        MSG msg;
        while (PeekMessageA(&msg, m_window, 0, 0, PM_REMOVE))
            if (msg.message >= WM_USER)
                out.emplace_back(msg.message, msg.wParam);
        return out;
    }
    // The first messages posted within the time, none when nothing came.
    std::vector<std::pair<UINT, WPARAM>> Wait(int milliseconds) {
        std::vector<std::pair<UINT, WPARAM>> out = Take();
        for (int waited = 0; out.empty() && waited < milliseconds; waited += 2) {
            Sleep(2);
            out = Take();
        }
        return out;
    }

private:
    HWND m_window;
};

// Writes a standard JPEG of one colour into the folder; answers its path, empty on failure.
std::string WriteJpeg(const TempFolder& folder, const std::string& name, int width, int height,
                      int colour) {
    CSprite picture;
    if (picture.CreateImage(width, height, 24, true, colour, false) <= 0)
        return {};
    picture.jfif = 1;
    const std::string path = folder.File(name);
    if (picture.SaveJPEG(path.c_str(), 95, 101, 1, 64, false, false, false, 0, false, 1, nullptr,
                         0, 0, 0, 0) != 1)
        return {};
    return path;
}

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Runs the frame's loader to its end.
void LoadAndWait(CFrame& frame, const std::string& source, HWND window) {
    ASSERT_NE(frame.StartLoading(source.c_str(), window, kFrameReady), nullptr);
    ASSERT_TRUE(WaitForWorkerThreadEnd(frame.loaderThread, 10000));
}

TEST(FrameLoader, ACubicListLoadsSixFacesAndPostsTheFrameFirst) {
    TempFolder folder;
    PostBox box;
    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = SourceCubic;
    std::string list = folder.Path();
    for (const char* face : {"f.jpg", "r.jpg", "b.jpg", "l.jpg", "u.jpg", "d.jpg", "x.jpg",
                             "y.jpg"})
        list += std::string(",") + face;
    LoadAndWait(*frame, list, box.Window());
    const auto posts = box.Take();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].first, kFrameReady);
    EXPECT_EQ(posts[0].second, reinterpret_cast<WPARAM>(frame.get()));
    EXPECT_EQ(frame->kind, FrameKindCubic);
    EXPECT_EQ(frame->meshCount, 6);
    EXPECT_EQ(frame->spriteCount, 6);
    EXPECT_EQ(frame->progress.GetCount(), 6);
    for (int i = 0; i < 6; ++i) {
        CSprite* image = frame->sprites[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(image->jfif, 1);
        EXPECT_EQ(image->keepContent, 1);
        EXPECT_EQ(image->abortPointer, &image->abortWord);
        EXPECT_EQ(image->loaderThread.load(), nullptr);
        EXPECT_NE(image->requestedName.Find(folder.Path().c_str()), -1);
    }
    EXPECT_NE(frame->sprites[5]->requestedName.Find("d.jpg"), -1);
    // Faces that cannot be read keep their placeholders and end the load.
    EXPECT_FLOAT_EQ(frame->loadPercent, 100.0f);
    EXPECT_EQ(frame->loading, 0);
    EXPECT_EQ(frame->loaderThread.load(), nullptr);
}

// Faces written as standard JPEG files load into the frame's images after the one post.
TEST(FrameLoader, ACubicListOfRealFacesDecodesEveryFace) {
    TempFolder folder;
    PostBox box;
    std::string list = folder.Path();
    for (int i = 0; i < 6; ++i) {
        CSprite face;
        ASSERT_GT(face.CreateImage(48, 48, 24, true, 0x203040 * (i + 1) & 0xFFFFFF, false), 0);
        face.jfif = 1;
        const std::string name = "face" + std::to_string(i) + ".jpg";
        ASSERT_EQ(face.SaveJPEG(folder.File(name).c_str(), 90, 101, 1, 64, false, false, false, 0,
                                false, 1, nullptr, 0, 0, 0, 0),
                  1);
        list += "," + name;
    }
    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = SourceCubic;
    LoadAndWait(*frame, list, box.Window());
    const auto posts = box.Take();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].first, kFrameReady);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        CSprite* face = frame->sprites[i];
        EXPECT_EQ(face->loadState, SpriteLoaded);
        EXPECT_EQ(face->width, 48);
        EXPECT_EQ(face->height, 48);
        EXPECT_EQ(face->contentValid, 1);
    }
    frame->UpdateProgress();
    EXPECT_FLOAT_EQ(frame->loadPercent, 100.0f);
    EXPECT_EQ(frame->loading, 0);
}

// A one-request HTTP server on 127.0.0.1 that answers only when released.
class HeldServer {
public:
    explicit HeldServer(std::string body) : m_body(std::move(body)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(m_listener, 1) == 0 &&
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
        m_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this] { Serve(); });
    }
    ~HeldServer() {
        Release();
        closesocket(m_listener);
        m_thread.join();
        CloseHandle(m_release);
        WSACleanup();
    }
    int Port() const { return m_port; }
    void Release() { SetEvent(m_release); }

private:
    void Serve() {
        const SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        WaitForSingleObject(m_release, 20000);
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                 std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n";
        const std::string reply = head + m_body;
        send(client, reply.data(), static_cast<int>(reply.size()), 0);
        shutdown(client, SD_SEND);
        char drain[256];
        while (recv(client, drain, sizeof drain, 0) > 0) {
        }
        closesocket(client);
    }

    std::string m_body;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    HANDLE m_release = nullptr;
    std::thread m_thread;
};

// The first face comes from a server that answers only after the test has the frame's post:
// the post cannot have waited for a decoded face, and the faces after it wait in their turn.
TEST(FrameLoader, AJpegListPostsTheFrameBeforeItsFirstFaceDecodes) {
    TempFolder folder;
    PostBox box;
    const std::string bytes = FileBytes(WriteJpeg(folder, "face.jpg", 48, 48, 0x3060C0));
    ASSERT_FALSE(bytes.empty());
    HeldServer server(bytes);
    ASSERT_NE(server.Port(), 0);
    std::string list = folder.Path() + ",http://127.0.0.1:" + std::to_string(server.Port()) +
                       "/first.jpg";
    for (int i = 1; i < 6; ++i)
        list += ",face.jpg";

    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = SourceCubic;
    ASSERT_NE(frame->StartLoading(list.c_str(), box.Window(), kFrameReady), nullptr);
    const auto posts = box.Wait(10000);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].first, kFrameReady);
    EXPECT_EQ(posts[0].second, reinterpret_cast<WPARAM>(frame.get()));
    // Six placeholders, none decoded yet.
    EXPECT_EQ(frame->spriteCount, 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frame->sprites[i]->width, 10);
        EXPECT_NE(frame->sprites[i]->loadState, SpriteLoaded);
    }
    EXPECT_LT(frame->loadPercent, 100.0f);

    // Now the first face's bytes come, and the list loads to its end.
    server.Release();
    ASSERT_TRUE(WaitForWorkerThreadEnd(frame->loaderThread, 20000));
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frame->sprites[i]->loadState, SpriteLoaded);
        EXPECT_EQ(frame->sprites[i]->width, 48);
    }
    EXPECT_FLOAT_EQ(frame->loadPercent, 100.0f);
    EXPECT_TRUE(box.Take().empty());
}

// The viewer lends an item's image to a frame whose faces are still decoding; Unload ends the
// load, returns once the loader has gone, and leaves the lent image alive and loadable.
TEST(FrameLoader, UnloadDuringALoadWaitsForTheLoaderAndSparesLentImages) {
    TempFolder folder;
    PostBox box;
    ASSERT_FALSE(WriteJpeg(folder, "big.jpg", 2048, 2048, 0x40A040).empty());
    std::string list = folder.Path();
    for (int i = 0; i < 6; ++i)
        list += ",big.jpg";
    CSprite item;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_GT(item.CreateImage(4, 4, 24, true, 0x123456, false), 0);
        auto frame = std::make_unique<CFrame>();
        frame->sourceKind = SourceCubic;
        ASSERT_NE(frame->StartLoading(list.c_str(), box.Window(), kFrameReady), nullptr);
        ASSERT_EQ(box.Wait(10000).size(), 1u);
        ASSERT_TRUE(frame->AppendBorrowedSprite(&item));
        frame->Unload();
        EXPECT_EQ(frame->loaderThread.load(), nullptr);
        EXPECT_EQ(frame->spriteCount, 0);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(frame->sprites[i], nullptr);
        EXPECT_EQ(item.pixels, nullptr);
        EXPECT_EQ(item.abortWord & SpriteAbortCancel, 0);
    }
}

TEST(FrameLoader, ASensorListLongerThanSixKeepsEveryName) {
    PostBox box;
    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = SourceFisheyes;
    LoadAndWait(*frame, "base,1.jpg,2.jpg,3.jpg,4.jpg,5.jpg,6.jpg,7.jpg", box.Window());
    EXPECT_EQ(frame->kind, FrameKindFisheye);
    EXPECT_EQ(frame->meshCount, 7);
    EXPECT_EQ(frame->spriteCount, 7);
    EXPECT_EQ(box.Take().size(), 1u);
}

TEST(FrameLoader, ABaseOnlyListBuildsAndPostsNothing) {
    PostBox box;
    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = SourceCubic;
    EXPECT_EQ(frame->LoadImageList("http://example.invalid/base/", box.Window(), kFrameReady), 1);
    EXPECT_EQ(frame->meshCount, 0);
    EXPECT_EQ(frame->spriteCount, 0);
    EXPECT_TRUE(box.Take().empty());
}

TEST(FrameLoader, ACancelledListStopsAndAnswersZero) {
    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = SourceCubic;
    frame->cancelFlag = SpriteAbortCancel;
    EXPECT_EQ(frame->LoadImageList("base,a.jpg,b.jpg", nullptr, 0), 0);
    EXPECT_EQ(frame->meshCount, 0);
    EXPECT_EQ(frame->sprites[0], nullptr);
    frame->cancelFlag = 0;
}

TEST(FrameLoader, SourcesGoToTheirReaderByKindAndName) {
    TempFolder folder;
    const std::string tour = folder.Write("tour.txt", "[FRAME]\r\nFILE=a.jpg\r\n");
    const std::string headerOnly = folder.Write("empty.kzr", std::string("KZR\0\x07\x01", 6));
    struct Case {
        const char* name;
        std::string source;
        int32_t sourceKind;
        bool reloadPosted;
    };
    const Case cases[] = {
        {"a text tour is handed back", tour, SourceFromFile, true},
        {"a header-only file counts as a tour", headerOnly, SourcePanorama, true},
        {"a movie by its upper-case name", folder.File("tour.MOV"), SourceFromFile, false},
        {"a camera recording", folder.File("rec.cam"), SourceFromFile, false},
        {"a name of three characters reads as a panorama file", "mov", SourceFromFile, false},
        {"a missing file posts nothing", folder.File("missing.kzr"), SourceFromFile, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PostBox box;
        auto frame = std::make_unique<CFrame>();
        frame->sourceKind = c.sourceKind;
        LoadAndWait(*frame, c.source, box.Window());
        const auto posts = box.Take();
        ASSERT_EQ(posts.size(), c.reloadPosted ? 1u : 0u);
        if (c.reloadPosted) {
            EXPECT_EQ(posts[0].first, kReloadScriptFile);
            EXPECT_EQ(posts[0].second, 0u);
        }
    }
}

TEST(FrameLoader, PanoramaFilesOfANewerPlayerOrWithRecordsAreRefused) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::string bytes;
        int line;  // language line left as the pending message
    };
    const Case cases[] = {
        {"version 264", std::string("KZR\0\x08\x01", 6), 74},
        {"version 263 with records", std::string("KZR\0\x07\x01", 6) + "\xFF\x00", 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PostBox box;
        CTexto pending;
        TakePendingMessage(&pending);
        auto frame = std::make_unique<CFrame>();
        const std::string path = folder.Write("file.kzr", c.bytes);
        EXPECT_EQ(frame->LoadPanoramaFile(path.c_str(), box.Window(), kFrameReady, 255), 1);
        EXPECT_TRUE(box.Take().empty());
        ASSERT_TRUE(TakePendingMessage(&pending));
        EXPECT_STREQ(pending.GetText(), GetLanguageLine(c.line));
        EXPECT_EQ(frame->fileBytesTotal, static_cast<int32_t>(c.bytes.size()));
    }
}

TEST(FrameLoader, StartingAgainEndsTheRunningLoadFirst) {
    auto frame = std::make_unique<CFrame>();
    frame->sourceKind = SourceCubic;
    for (int round = 0; round < 5; ++round) {
        frame->StartLoading("base,a.jpg,b.jpg,c.jpg,d.jpg,e.jpg,f.jpg", nullptr, 0);
        frame->Unload();
        EXPECT_EQ(frame->loaderThread.load(), nullptr);
        EXPECT_EQ(frame->kind, FrameKindNone);
        EXPECT_EQ(frame->meshCount, 0);
    }
    frame->StartLoading("base,a.jpg,b.jpg,c.jpg,d.jpg,e.jpg,f.jpg", nullptr, 0);
    frame->StartLoading("base,a.jpg,b.jpg,c.jpg,d.jpg,e.jpg,f.jpg", nullptr, 0);
    ASSERT_TRUE(WaitForWorkerThreadEnd(frame->loaderThread, 10000));
    EXPECT_EQ(frame->meshCount, 6);
    frame->CancelLoading();
    EXPECT_EQ(frame->cancelFlag, 0);
}

// Images stored back to back: an image-grid frame keeps each cell's bytes.
TEST(FrameLoader, GridCellsKeepTheirBytesAndBadPiecesFailAlone) {
    struct Case {
        const char* name;
        std::vector<uint32_t> sizes;
        std::vector<uint32_t> layout;  // empty: none
        // Per image after the call: 3 failed, -1 decoded (these bytes are no picture), else
        // untouched.
        std::vector<int32_t> states;
        std::vector<int> stored;       // bytes kept per cell, -1 none
    };
    const Case cases[] = {
        {"two cells", {4, 6}, {}, {-1, 0}, {4, 6}},
        {"a size beyond the stream fails that cell", {4, 100}, {}, {-1, 3}, {4, -1}},
        {"a layout word naming image 5 of 2", {4, 6}, {0, 5u << 16}, {-1, 0}, {4, -1}},
    };
    const std::string data = "AAAABBBBBB";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = std::make_unique<CFrame>();
        frame->CreateGeometry(FrameKindImageGrid, 1, 2, 1, 0);
        ASSERT_EQ(frame->spriteCount, 2);
        for (int i = 0; i < 2; ++i)
            frame->sprites[i]->loadState = SpriteEmpty;
        CFicheroHttp stream;
        ASSERT_TRUE(stream.SetBuffer(data.data(), static_cast<int64_t>(data.size()),
                                     BufferUse::Copy));
        frame->LoadImagesFromStream(&stream, c.sizes.data(), nullptr,
                                    c.layout.empty() ? nullptr : c.layout.data(), 2, 1, ~0u,
                                    nullptr, 0);
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            if (c.states[i] == SpriteFailed) {
                EXPECT_EQ(frame->sprites[i]->loadState, SpriteFailed);
            } else if (c.states[i] >= 0) {
                EXPECT_NE(frame->sprites[i]->loadState, SpriteFailed);
            }
            if (c.stored[i] < 0) {
                EXPECT_TRUE(!frame->gridStreams[i] ||
                            frame->gridStreams[i]->GetMemoryState() != BufferComplete);
            } else {
                ASSERT_NE(frame->gridStreams[i], nullptr);
                EXPECT_EQ(frame->gridStreams[i]->GetMemoryState(), BufferComplete);
                EXPECT_EQ(frame->gridStreams[i]->GetLength(), c.stored[i]);
            }
        }
    }
}

TEST(FrameLoader, CubePiecesNeedASquareGrid) {
    const std::string data(64, 'x');
    struct Case {
        const char* name;
        int tiles;
        int expectedSize;  // of image 0 after the call; 0 when it was never attempted
        int gridColumns;
    };
    const Case cases[] = {
        {"four pieces make 2 x 2", 4, 8, 2},
        {"two pieces are no square", 2, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = std::make_unique<CFrame>();
        frame->CreateGeometry(FrameKindCubic, 6, 10, 10, 0);
        std::vector<uint32_t> sizes(static_cast<size_t>(6 * c.tiles), 1);
        sizes[0] = 8;
        CFicheroHttp stream;
        ASSERT_TRUE(stream.SetBuffer(data.data(), static_cast<int64_t>(data.size()),
                                     BufferUse::Copy));
        frame->LoadImagesFromStream(&stream, sizes.data(), nullptr, nullptr, 6, c.tiles, ~0u,
                                    nullptr, 0);
        EXPECT_EQ(frame->sprites[0]->expectedFileSize, c.expectedSize);
        EXPECT_EQ(frame->sprites[0]->gridColumns, c.gridColumns);
        EXPECT_EQ(frame->sprites[0]->loadState, SpriteFailed);
    }
}

// A picture of one colour as the bytes of a JPEG file.
std::string JpegBytes(const TempFolder& folder, int colour) {
    const std::string path = WriteJpeg(folder, "cell" + std::to_string(colour) + ".jpg", 16, 8,
                                       colour);
    return path.empty() ? std::string() : FileBytes(path);
}

bool Near(uint32_t pixel, uint32_t colour) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = static_cast<int>(pixel >> shift & 0xFF);
        const int b = static_cast<int>(colour >> shift & 0xFF);
        if (a - b > 12 || b - a > 12)
            return false;
    }
    return true;
}

// A grid of three cells in one row: the shown cell decodes from its kept bytes, the cell shown
// before lets go of its pixels, and with blending the neighbour one step back gives the shown
// cell its red channel (a red-cyan pair of two neighbouring views). The cells' red channels
// differ, so that the blend shows in the pixels.
TEST(FrameLoader, GridFramesShowTheirCellWithAndWithoutBlending) {
    TempFolder folder;
    const uint32_t colours[3] = {0x2020C0, 0xC0C020, 0x20C0C0};
    std::string data;
    std::vector<uint32_t> sizes;
    for (uint32_t colour : colours) {
        const std::string bytes = JpegBytes(folder, static_cast<int>(colour));
        ASSERT_FALSE(bytes.empty());
        data += bytes;
        sizes.push_back(static_cast<uint32_t>(bytes.size()));
    }
    auto frame = std::make_unique<CFrame>();
    frame->CreateGeometry(FrameKindImageGrid, 1, 3, 1, 0);
    ASSERT_EQ(frame->spriteCount, 3);
    CFicheroHttp stream;
    ASSERT_TRUE(stream.SetBuffer(data.data(), static_cast<int64_t>(data.size()),
                                 BufferUse::Copy));
    frame->LoadImagesFromStream(&stream, sizes.data(), nullptr, nullptr, 3, 1, ~0u, nullptr, 0);
    EXPECT_EQ(frame->gridImagesRead, 3);
    // Only cell 0 decoded while reading.
    EXPECT_EQ(frame->sprites[0]->width, 16);
    EXPECT_EQ(frame->sprites[1]->width, 10);
    const auto released = [&](int cell) {
        CSprite* image = frame->sprites[cell];
        return image->pixels == nullptr && !image->IsKeptInTiles();
    };
    const auto shownPixel = [&] { return frame->sprites[frame->gridImage]->GetPixel(8, 4, false); };

    frame->gridColumn = 1;
    frame->ShowGridImage(0);
    EXPECT_EQ(frame->gridImage, 1);
    EXPECT_EQ(frame->gridBlendImage, -1);
    CSprite* shown = frame->sprites[1];
    EXPECT_EQ(shown->width, 16);
    EXPECT_EQ(shown->bitsPerPixel, 32);
    EXPECT_TRUE(Near(shownPixel(), colours[1])) << std::hex << shownPixel();
    EXPECT_EQ(frame->meshes[0]->texture1, shown);
    EXPECT_TRUE(released(0));

    // Stepping on to cell 2 with blending: cell 1, one step back, gives it its red.
    frame->gridColumn = 2;
    frame->ShowGridImage(1);
    EXPECT_EQ(frame->gridImage, 2);
    EXPECT_EQ(frame->gridBlendImage, 1);
    EXPECT_EQ(frame->meshes[0]->texture1, frame->sprites[2]);
    EXPECT_TRUE(Near(shownPixel(), 0xC0C0C0)) << std::hex << shownPixel();
    EXPECT_TRUE(Near(frame->sprites[1]->GetPixel(8, 4, false), colours[1]));
    EXPECT_TRUE(released(0));

    // Stepping back to cell 1: the blended cell is shown with the pixels it has, and cell 2,
    // decoded afresh without the red drawn over it, is the neighbour now.
    frame->gridStepDirection = -1;
    frame->gridColumn = 1;
    frame->ShowGridImage(1);
    EXPECT_EQ(frame->gridImage, 1);
    EXPECT_EQ(frame->gridBlendImage, 2);
    EXPECT_EQ(frame->meshes[0]->texture1, frame->sprites[1]);
    EXPECT_TRUE(Near(shownPixel(), 0x20C020)) << std::hex << shownPixel();
    EXPECT_TRUE(Near(frame->sprites[2]->GetPixel(8, 4, false), colours[2]));

    // Back to cell 0 without blending: both cells shown before are released.
    frame->gridColumn = 0;
    frame->ShowGridImage(0);
    EXPECT_EQ(frame->gridImage, 0);
    EXPECT_EQ(frame->gridBlendImage, -1);
    EXPECT_TRUE(Near(shownPixel(), colours[0])) << std::hex << shownPixel();
    EXPECT_TRUE(released(1));
    EXPECT_TRUE(released(2));

    // A grid without columns shows nothing.
    frame->gridColumns = 0;
    frame->ShowGridImage(1);
    EXPECT_EQ(frame->gridImage, 0);
    EXPECT_EQ(frame->meshes[0]->texture1, frame->sprites[0]);
}

}  // namespace
