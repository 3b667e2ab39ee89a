// Effective state bits, option bits, the three-word key and the routine cache.
#include "render/span_internal.h"

namespace {

constexpr uint32_t kLowStateBits = 0xFFFF;
constexpr uint32_t kKeepMaskMarker = 0xFF000000;
constexpr int kKeyDestBitsShift = 8;
constexpr uint32_t kKeyTextureBitsMask = 0xFF;
constexpr uint32_t kNoColourMultiply = 0xFFFFFF;

bool SizeIsPowerOfTwo(int32_t width, int32_t height) {
    return span::IsPowerOfTwo(width) && span::IsPowerOfTwo(height);
}

bool KeysEqual(const uint32_t words[kSpanKeyWordCount], const SpanKey& key) {
    return words[0] == key.options && words[1] == key.state && words[2] == key.keepMask;
}

}  // namespace

uint32_t EffectiveSpanState(uint32_t deviceState, uint32_t meshFeatures) {
    uint32_t state = (deviceState & ~kLowStateBits) | (deviceState & meshFeatures & kLowStateBits);
    if ((state & kSpanDepthFuncMask) == kSpanDepthAlways)
        state &= ~(kSpanDepthCompare | kSpanDepthWrite);
    return state;
}

uint32_t SpanOptions(const SpanDrawInputs& in) {
    uint32_t options = 0;
    // Texture 2 is read only when it is mixed in.
    bool second = in.hasTexture1 && in.hasTexture2 && in.mixWord != 0;
    if (second)
        options |= kSpanOptTwoTextures;
    if ((in.hasTexture1 && in.texture1Width > kSpanWideTextureWidth) ||
        (second && in.texture2Width > kSpanWideTextureWidth))
        options |= kSpanOptWideAddress;
    if ((in.hasTexture1 && !SizeIsPowerOfTwo(in.texture1Width, in.texture1Height)) ||
        (second && !SizeIsPowerOfTwo(in.texture2Width, in.texture2Height)))
        options |= kSpanOptNotPowerOfTwo;
    if (in.colourGain != 0)
        options |= kSpanOptGain;
    if (in.colourAdd != 0)
        options |= kSpanOptColourAdd;
    if (in.colourMultiply != kNoColourMultiply)
        options |= kSpanOptColourMultiply;
    return options;
}

SpanKey MakeSpanKey(const SpanDrawInputs& in) {
    SpanKey key;
    uint32_t textureBits = in.hasTexture1 ? static_cast<uint32_t>(in.texture1Bits) & kKeyTextureBitsMask : 0;
    key.options = SpanOptions(in) | (static_cast<uint32_t>(in.destBits & 0xFF) << kKeyDestBitsShift) |
                  textureBits;
    key.state = EffectiveSpanState(in.deviceState, in.meshFeatures);
    key.keepMask = in.keepMask | kKeepMaskMarker;
    return key;
}

namespace {

// Checks the key, fills the slot's common fields and then its routine: a fused loop when one
// covers the key (and fused is allowed), else the stage list.
bool FillSlot(const SpanKey& key, SimdLevel level, bool fused, SpanSlot* slot) {
    *slot = SpanSlot();
    uint32_t state = key.state;
    bool hasTexture = (key.options & kKeyTextureBitsMask) != 0;
    int32_t destBits = static_cast<int32_t>((key.options >> kKeyDestBitsShift) & 0xFF);
    if (state & kSpanWireframe)
        return false;
    if ((state & kSpanTextured) && !hasTexture)
        return false;
    if (!(state & kSpanDepthCompare) && !hasTexture)
        return false;
    // DepthFunc "never": nothing passes.
    if ((state & kSpanDepthCompare) && (state & kSpanDepthFuncMask) == 0)
        return false;
    if (state & kSpanAccumulationBits) {
        slot->destBytes = span::kAccumulationBytes;
    } else if (destBits == 15 || destBits == 16 || destBits == 24 || destBits == 32) {
        slot->destBytes = destBits == 15 ? 2 : destBits / 8;
    } else {
        return false;  // no store for this frame format
    }
    slot->state = state;
    slot->options = key.options;
    slot->run = fused ? span::ChooseFused(key, level) : nullptr;
    if (slot->run)
        return true;
    return span::BuildStages(key, slot);
}

}  // namespace

bool MakeSpanSlot(const SpanKey& key, SimdLevel level, SpanSlot* slot) {
    return FillSlot(key, level, true, slot);
}

bool MakeReferenceSpanSlot(const SpanKey& key, SpanSlot* slot) {
    return FillSlot(key, SimdLevel::Plain, false, slot);
}

int FindSpanRoutine(const SpanCache& cache, const SpanDrawInputs& in) {
    int32_t& count = *cache.count;
    if (count < 0 || count > kSpanCachedSlots)
        count = 0;
    SpanKey key = MakeSpanKey(in);
    for (int i = 0; i < count; ++i) {
        if (KeysEqual(cache.keys[i], key))
            return cache.slots[i].run ? i : -1;
    }
    int slot = count < kSpanCachedSlots ? count : kSpanCachedSlots;
    cache.keys[slot][0] = key.options;
    cache.keys[slot][1] = key.state;
    cache.keys[slot][2] = key.keepMask;
    // Only a key that took a cached slot counted itself; one in the overflow slot gives nothing back.
    bool counted = slot < kSpanCachedSlots;
    if (counted)
        ++count;
    if (key.state & kSpanWireframe) {
        cache.slots[slot] = SpanSlot();
        return -1;
    }
    if (!MakeSpanSlot(key, cache.level, &cache.slots[slot])) {
        if (counted)
            --count;
        return -1;
    }
    return slot;
}
