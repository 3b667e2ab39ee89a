// The 3D mouse through its component's automation interfaces. Every interface of the component
// is dual, so the adapter calls it by member name through IDispatch and needs no declaration of
// its method tables; the interface ids only confirm that each object is what it should be.
#include "viewer/mouse_3d.h"

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <utility>

namespace {

// The component and its interfaces.
const CLSID kDeviceClass = {0x82C5AB54, 0xC92C, 0x4D52, {0xAA, 0xC5, 0x27, 0xE2, 0x5E, 0x22, 0x60, 0x4C}};
const IID kDeviceInterface = {0xCB3BF65E, 0x0816, 0x482A, {0xBB, 0x11, 0x64, 0xAF, 0x1E, 0x83, 0x78, 0x12}};
const IID kSensorInterface = {0xF3A6775E, 0x6FA1, 0x4829, {0xBF, 0x32, 0x5B, 0x04, 0x5C, 0x29, 0x07, 0x8F}};
const IID kVectorInterface = {0x8C2AA71D, 0x2B23, 0x43F5, {0xA6, 0xED, 0x4D, 0xF5, 0x7E, 0x9C, 0xD8, 0xD5}};
const IID kAngleAxisInterface = {0x1EF2BAFF, 0x54E9, 0x4706, {0x9F, 0x61, 0x07, 0x8F, 0x71, 0x34, 0xFD, 0x35}};
const IID kKeyboardInterface = {0xD6F968E7, 0x2993, 0x48D7, {0xAF, 0x24, 0x8B, 0x60, 0x2D, 0x92, 0x5B, 0x2C}};

constexpr const wchar_t* kPreferenceName = L"Lumarix";

// An automation object held for its lifetime.
class DispatchRef {
public:
    DispatchRef() = default;
    explicit DispatchRef(IDispatch* object) : m_object(object) {}
    DispatchRef(const DispatchRef&) = delete;
    DispatchRef& operator=(const DispatchRef&) = delete;
    DispatchRef(DispatchRef&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    ~DispatchRef()
    {
        if (m_object)
            m_object->Release();
    }
    IDispatch* get() const { return m_object; }

private:
    IDispatch* m_object = nullptr;
};

bool Invoke(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* arguments, UINT count,
            VARIANT* result)
{
    if (!object)
        return false;
    DISPID id = 0;
    LPOLESTR member = const_cast<LPOLESTR>(name);
    if (FAILED(object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_USER_DEFAULT, &id)))
        return false;
    DISPPARAMS parameters = {arguments, nullptr, count, 0};
    VARIANT ignored;
    VariantInit(&ignored);
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &parameters,
                                result ? result : &ignored, nullptr, nullptr);
    VariantClear(&ignored);
    return SUCCEEDED(hr);
}

// A property that is itself an object, checked against its interface id.
DispatchRef GetObjectProperty(IDispatch* object, const wchar_t* name, const IID& expected)
{
    VARIANT value;
    VariantInit(&value);
    if (!Invoke(object, name, DISPATCH_PROPERTYGET, nullptr, 0, &value) ||
        value.vt != VT_DISPATCH || !value.pdispVal) {
        VariantClear(&value);
        return DispatchRef();
    }
    IUnknown* typed = nullptr;
    const bool matches = SUCCEEDED(value.pdispVal->QueryInterface(expected, reinterpret_cast<void**>(&typed)));
    if (typed)
        typed->Release();
    IDispatch* result = matches ? value.pdispVal : nullptr;
    if (result)
        result->AddRef();
    VariantClear(&value);
    return DispatchRef(result);
}

bool GetNumber(IDispatch* object, const wchar_t* name, double* number)
{
    VARIANT value;
    VariantInit(&value);
    bool ok = Invoke(object, name, DISPATCH_PROPERTYGET, nullptr, 0, &value) &&
              SUCCEEDED(VariantChangeType(&value, &value, 0, VT_R8));
    if (ok)
        *number = value.dblVal;
    VariantClear(&value);
    return ok;
}

class ComMouse final : public C3DMouse {
public:
    ComMouse(DispatchRef device, DispatchRef sensor, DispatchRef keyboard)
        : m_device(std::move(device)), m_sensor(std::move(sensor)), m_keyboard(std::move(keyboard))
    {
    }
    ~ComMouse() override { Invoke(m_device.get(), L"Disconnect", DISPATCH_METHOD, nullptr, 0, nullptr); }

    int ProgrammableKeys() override
    {
        double count = 0;
        return GetNumber(m_keyboard.get(), L"ProgrammableKeys", &count) ? static_cast<int>(count) : -1;
    }

    int IsKeyDown(int key) override
    {
        VARIANT argument;
        VariantInit(&argument);
        argument.vt = VT_I4;
        argument.lVal = key;
        VARIANT result;
        VariantInit(&result);
        int answer = -1;
        if (Invoke(m_keyboard.get(), L"IsKeyDown", DISPATCH_METHOD, &argument, 1, &result) &&
            SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BOOL)))
            answer = result.boolVal != VARIANT_FALSE ? 1 : 0;
        VariantClear(&result);
        return answer;
    }

    bool ReadMotion(Mouse3DMotion* motion) override
    {
        DispatchRef translation = GetObjectProperty(m_sensor.get(), L"Translation", kVectorInterface);
        DispatchRef rotation = GetObjectProperty(m_sensor.get(), L"Rotation", kAngleAxisInterface);
        return translation.get() && rotation.get() &&
               GetNumber(translation.get(), L"X", &motion->x) &&
               GetNumber(translation.get(), L"Y", &motion->y) &&
               GetNumber(translation.get(), L"Z", &motion->z) &&
               GetNumber(translation.get(), L"Length", &motion->length) &&
               GetNumber(rotation.get(), L"X", &motion->axisX) &&
               GetNumber(rotation.get(), L"Y", &motion->axisY) &&
               GetNumber(rotation.get(), L"Z", &motion->axisZ) &&
               GetNumber(rotation.get(), L"Angle", &motion->angle);
    }

private:
    DispatchRef m_device;
    DispatchRef m_sensor;
    DispatchRef m_keyboard;
};

}  // namespace

C3DMouse* Connect3DMouseDevice()
{
    IUnknown* unknown = nullptr;
    if (FAILED(CoCreateInstance(kDeviceClass, nullptr, CLSCTX_ALL, kDeviceInterface,
                                reinterpret_cast<void**>(&unknown))) || !unknown)
        return nullptr;
    IDispatch* dispatch = nullptr;
    HRESULT hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    unknown->Release();
    if (FAILED(hr) || !dispatch)
        return nullptr;
    DispatchRef device(dispatch);
    DispatchRef sensor = GetObjectProperty(device.get(), L"Sensor", kSensorInterface);
    DispatchRef keyboard = GetObjectProperty(device.get(), L"Keyboard", kKeyboardInterface);
    if (!sensor.get() || !keyboard.get())
        return nullptr;
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(kPreferenceName);
    const bool named = name.bstrVal &&
                       Invoke(device.get(), L"LoadPreferences", DISPATCH_METHOD, &name, 1, nullptr);
    VariantClear(&name);
    if (!named || !Invoke(device.get(), L"Connect", DISPATCH_METHOD, nullptr, 0, nullptr))
        return nullptr;
    return new (std::nothrow) ComMouse(std::move(device), std::move(sensor), std::move(keyboard));
}
