// The render states: one switch that keeps each value in the device and applies it to the
// active back end.
#include "render/render_device.h"

namespace {

// The state bit of each flag state; 0 for the states that are not one bit.
uint32_t FlagBit(int32_t type)
{
    switch (type) {
    case RenderStateZBuffer: return StateZBuffer;
    case RenderStateDepthTest: return StateDepthTest;
    case RenderStateBilinear: return StateBilinear;
    case RenderStateColorVertex: return StateColorVertex;
    case RenderStateLighting: return StateLighting;
    case RenderStateSpecular: return StateSpecular;
    case RenderStateFog: return StateFog;
    case RenderStateVerticalSync: return StateVerticalSync;
    case RenderStateDiffuseAlpha: return StateDiffuseAlpha;
    default: return 0;
    }
}

bool IsFlagState(int32_t type)
{
    return FlagBit(type) != 0 || type == RenderStateOffscreenTarget;
}

void SetBits(uint32_t& word, uint32_t mask, uint32_t value)
{
    word = (word & ~mask) | (value & mask);
}

}  // namespace

int32_t CObjeto2D::GetRenderState(int32_t type)
{
    uint32_t bits = params->stateBits;
    if (uint32_t bit = FlagBit(type))
        return (bits & bit) ? 1 : 0;
    switch (type) {
    case RenderStateBackEnd: return backEnd;
    case RenderStateDepthFunc: return static_cast<int32_t>(bits & StateDepthFuncMask);
    case RenderStateAccumulation:
        return (bits & StateAccumulation2) ? 2 : (bits & StateAccumulation1) ? 1 : 0;
    case RenderStateFillMode: return static_cast<int32_t>(bits & StateFillModeMask);
    case RenderStateCullMode: return static_cast<int32_t>(bits & StateCullMask);
    case RenderStateAmbient: return static_cast<int32_t>(ambientColour);
    case RenderStateFogStart: return static_cast<int32_t>(fogStart);
    case RenderStateFogEnd: return static_cast<int32_t>(fogEnd);
    case RenderStateFogColor: return static_cast<int32_t>(fogColour);
    case RenderStateDepthBias: return static_cast<int32_t>(depthBias);
    case RenderStateProjectionWidth: return projectionWidth;
    case RenderStateProjectionHeight: return projectionHeight;
    case RenderStateOffscreenTarget: return offscreenTargetOn ? 1 : 0;
    default: return type;
    }
}

void CObjeto2D::ReapplyRenderState(int32_t type)
{
    SetRenderState(type, 0, true);
}

int32_t CObjeto2D::SetRenderState(int32_t type, int32_t value, bool force)
{
    if (type < 0 || type >= kRenderStateCount)
        return type;
    int32_t previous = GetRenderState(type);
    if (force)
        value = previous;
    bool changed;
    if (IsFlagState(type))
        changed = (value != 0) != (previous != 0);
    else if (type == RenderStateAccumulation)
        changed = value != previous && static_cast<uint32_t>(value) < 3;
    else if (type == RenderStateProjectionWidth || type == RenderStateProjectionHeight)
        changed = value != previous && value >= 0;
    else
        changed = value != previous;
    if (!changed && !force)
        return previous;

    uint32_t& bits = params->stateBits;
    if (uint32_t bit = FlagBit(type))
        SetBits(bits, bit, value ? bit : 0);

    switch (type) {
    case RenderStateBackEnd: {
        status |= DeviceSwitchingBackEnd;
        const bool wasFullscreen = fullscreen != 0;
        const int32_t fullWidth = fullscreenRect.right - fullscreenRect.left;
        const int32_t fullHeight = fullscreenRect.bottom - fullscreenRect.top;
        if (wasFullscreen)
            ToggleFullscreen(0, 0);
        if (backEnd != RenderSoftware)
            EvictResources(nullptr, 0);
        backEnd = value;
        if (CreateDevice(deviceRect.right - deviceRect.left, deviceRect.bottom - deviceRect.top,
                         window) == 0 &&
            automaticVerticalSync)
            SetRenderState(RenderStateVerticalSync, backEnd != RenderSoftware);
        if (wasFullscreen)
            ToggleFullscreen(fullWidth, fullHeight);
        status &= ~static_cast<uint32_t>(DeviceSwitchingBackEnd);
        return previous;
    }
    case RenderStateZBuffer:
        // A z-buffer that cannot be had leaves the state off. The hardware back ends make their
        // own (below).
        if (backEnd != RenderSoftware)
            break;
        if (value && (bits & StateZBuffer)) {
            if (FAILED(CreateDepthBuffer()))
                bits &= ~static_cast<uint32_t>(StateZBuffer);
        } else {
            FreeDepthBuffer();
        }
        break;
    case RenderStateDepthFunc:
        SetBits(bits, StateDepthFuncMask, static_cast<uint32_t>(value));
        break;
    case RenderStateBilinear:
        if (!value)
            bits |= StateTwoTexelFilter;
        bits |= filterBits;
        break;
    case RenderStateAccumulation:
        SetBits(bits, StateAccumulationMask,
                value == 1 ? StateAccumulation1 : value == 2 ? StateAccumulation2 : 0u);
        FreeAccumulationBuffer();
        // Spans would sum into a buffer that is not there: without one the state stays off.
        if (value && FAILED(CreateAccumulationBuffer()))
            bits &= ~static_cast<uint32_t>(StateAccumulationMask);
        break;
    case RenderStateFillMode:
        SetBits(bits, StateFillModeMask, static_cast<uint32_t>(value));
        break;
    case RenderStateCullMode:
        SetBits(bits, StateCullMask, static_cast<uint32_t>(value));
        break;
    case RenderStateAmbient:
        ambientColour = static_cast<uint32_t>(value);
        break;
    case RenderStateFog:
    case RenderStateFogEnd:
        if (type == RenderStateFogEnd)
            fogEnd = static_cast<float>(value);
        if ((bits & StateFog) && params->farZ != fogEnd) {
            params->farZ = fogEnd;
            UpdateProjection();
        }
        break;
    case RenderStateFogStart:
        fogStart = static_cast<float>(value);
        break;
    case RenderStateFogColor:
        fogColour = static_cast<uint32_t>(value);
        break;
    case RenderStateDepthBias:
        depthBias = static_cast<uint32_t>(value);
        break;
    case RenderStateProjectionWidth:
    case RenderStateProjectionHeight:
        (type == RenderStateProjectionWidth ? projectionWidth : projectionHeight) = value;
        UpdateViewportAndProjection();
        break;
    case RenderStateOffscreenTarget:
        if (value) {
            SetRenderTarget(&ownTarget);
        } else {
            offscreenTarget = nullptr;
            offscreenTargetOn = 0;
            params->bitsPerPixel = GetScreenDepth();
            params->bytesPerPixel = (params->bitsPerPixel + (params->bitsPerPixel == 15)) / 8;
        }
        ResetDevice(0);
        break;
    default:
        break;
    }
    if (backEnd == RenderDirect3D9 && device3D)
        ApplyDirect3DState(type);
    else if (backEnd == RenderOpenGL && glContext)
        ApplyGLState(type);
    return previous;
}
