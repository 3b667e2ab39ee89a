#pragma once
// The executable code pool: the one place where routines generated at run time (pixel, blit,
// line, raster-row and motion-detection loops) may live. A static block of 50 slots of 4096 bytes,
// handed out lowest free slot first.
//
// Process-wide state that belongs with it: the pool lock (serialises AllocCodeSlot) and the image
// lock (guards the exchange of an image's pixel buffer and tiles). Both locks and the pool's
// executable state are made ready once, by AcquireCodePool (start-up and every engine) or by the
// first AllocCodeSlot / image lock user, and are torn down only when the last AcquireCodePool
// holder calls ReleaseCodePool.

constexpr int kCodeSlotCount = 50;
constexpr int kCodeSlotSize = 4096;
// Longest AllocCodeSlot waits for a slot while all are busy.
constexpr unsigned kCodeSlotWaitMs = 10000;

// Takes a reference on the pool: the first one creates both locks and makes the block readable,
// writable and executable. Answers whether the block is executable.
bool AcquireCodePool();
// Gives a reference back: the last one deletes both locks and returns the block to read-write.
// Calls without a reference held are ignored.
void ReleaseCodePool();
bool IsCodePoolExecutable();
// Start of the block; slot n starts at base + n x kCodeSlotSize.
void* GetCodePoolBase();

// The lowest free slot, marked busy. While all slots are busy it waits (without holding the lock)
// for one to be freed; null when none came free within kCodeSlotWaitMs. Every caller checks for
// null and fails its job cleanly (no routine, no drawing) rather than writing through it.
void* AllocCodeSlot();
// Frees the slot holding the address. False when the address lies outside the pool or its slot
// was not busy.
bool FreeCodeSlot(void* address);

// The image lock, held only while an image's pixel buffer and tile array are exchanged.
void EnterImageLock();
void LeaveImageLock();

class ImageLockGuard {
public:
    ImageLockGuard() { EnterImageLock(); }
    ~ImageLockGuard() { LeaveImageLock(); }
    ImageLockGuard(const ImageLockGuard&) = delete;
    ImageLockGuard& operator=(const ImageLockGuard&) = delete;
};
