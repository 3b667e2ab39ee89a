#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "mesh_test_support.h"
#include "render/mesh.h"

namespace {

// Waits up to a second for a flag another thread raises.
bool WaitFor(const std::atomic<bool>& flag) {
    for (int i = 0; i < 100 && !flag; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return flag;
}

}  // namespace

// A free must wait for a draw on another thread, and stopping a loader must not cut that wait.
TEST(MeshBusy, FreeWaitsForADrawerEvenWhenAborted) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    std::atomic<bool> drawing{false}, release{false}, freed{false};
    std::atomic<int> seenVertexCount{-1};
    std::thread drawer([&] {
        MeshBusyGuard::Shared hold(mesh.busy);
        drawing = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        seenVertexCount = mesh.vertexCount;
        (void)mesh.vertices[3].x;  // still allocated
    });
    ASSERT_TRUE(WaitFor(drawing));
    std::thread freer([&] {
        mesh.abortFlag = 1;
        mesh.FreeArrays();
        freed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(freed) << "freed under a draw";
    release = true;
    drawer.join();
    freer.join();
    EXPECT_TRUE(freed);
    EXPECT_EQ(seenVertexCount.load(), 4);
    EXPECT_EQ(mesh.vertices, nullptr);
}

TEST(MeshBusy, DetailChangeGivesUpWhenTheLoaderIsStopped) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.hasDetailLevels = 1;
    std::atomic<bool> drawing{false}, release{false};
    std::thread drawer([&] {
        MeshBusyGuard::Shared hold(mesh.busy);
        drawing = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    ASSERT_TRUE(WaitFor(drawing));
    mesh.abortFlag = 1;
    mesh.SetDetailLevel(3);
    EXPECT_EQ(mesh.detailLevel, 0) << "gave up instead of changing under the draw";
    release = true;
    drawer.join();
    mesh.abortFlag = 0;
    mesh.SetDetailLevel(3);
    EXPECT_EQ(mesh.detailLevel, 3);
}

// A drawer may split its own mesh in the middle of a draw (it frees the sub-meshes).
TEST(MeshBusy, TheDrawingThreadMayChangeItsOwnMesh) {
    CObjeto3D mesh;
    MakeQuad(mesh);
    mesh.KeepOriginalArrays();
    mesh.AllocateArrays(3, 3, true, true);
    mesh.AllocateSubMeshes(1);
    {
        MeshBusyGuard::Shared hold(mesh.busy);
        mesh.FreeSubMeshes();
        EXPECT_EQ(mesh.subMeshCount, 0);
        EXPECT_EQ(mesh.vertexCount, 4);
        EXPECT_EQ(mesh.busy.GetSharedCount(), 1);
    }
    EXPECT_EQ(mesh.busy.GetSharedCount(), 0);
    EXPECT_FALSE(mesh.busy.IsHeldExclusively());
}

TEST(MeshBusy, DrawersWaitWhileTheArraysChange) {
    MeshBusyGuard guard;
    std::atomic<bool> started{false}, drew{false};
    guard.LockExclusive();
    std::thread drawer([&] {
        started = true;
        MeshBusyGuard::Shared hold(guard);
        drew = true;
    });
    ASSERT_TRUE(WaitFor(started));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(drew);
    {
        MeshBusyGuard::Shared nested(guard);  // the changing thread may read its own mesh
        EXPECT_EQ(guard.GetSharedCount(), 1);
    }
    guard.UnlockExclusive();
    drawer.join();
    EXPECT_TRUE(drew);
}

namespace {

unsigned FakeLoader(void* parameter) {
    CObjeto3D* mesh = static_cast<CObjeto3D*>(parameter);
    for (int i = 0; i < 500 && !mesh->abortFlag; ++i)
        SleepMilliseconds(10);
    return 0;
}

}  // namespace

TEST(MeshBusy, StopLoadingWaitsForTheLoaderSlot) {
    CObjeto3D mesh;
    CWorkerThread* thread = StartWorkerThread(FakeLoader, &mesh, &mesh.loaderThread);
    ASSERT_NE(thread, nullptr);
    ResumeWorkerThread(thread);
    mesh.StopLoading();
    EXPECT_EQ(mesh.loaderThread.load(), nullptr);
    EXPECT_EQ(mesh.abortFlag.load(), 0) << "cleared for the next load";
    mesh.StopLoading();  // nothing running: returns at once
}
