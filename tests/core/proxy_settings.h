// The user's proxy settings in the registry, replaced for one test and put back afterwards; the
// HTTP client's remembered proxy is forgotten each time so that it reads them afresh.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/http_client.h"

class ProxySettings {
public:
    ProxySettings() {
        RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &m_key, nullptr);
        m_hadEnable = Save("ProxyEnable", &m_enable);
        m_hadServer = Save("ProxyServer", &m_server);
    }
    ProxySettings(DWORD enable, const std::string& server) : ProxySettings() { Set(enable, server); }
    ~ProxySettings() {
        if (m_key) {
            Restore("ProxyEnable", m_hadEnable, m_enable);
            Restore("ProxyServer", m_hadServer, m_server);
            RegCloseKey(m_key);
        }
        ForgetProxy();
    }
    ProxySettings(const ProxySettings&) = delete;
    ProxySettings& operator=(const ProxySettings&) = delete;

    bool Set(DWORD enable, const std::string& server) {
        const bool written =
            m_key &&
            RegSetValueExA(m_key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                           sizeof enable) == ERROR_SUCCESS &&
            RegSetValueExA(m_key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                           static_cast<DWORD>(server.size() + 1)) == ERROR_SUCCESS;
        ForgetProxy();
        return written;
    }

private:
    struct Value {
        DWORD type = 0;
        std::vector<BYTE> bytes;
    };
    bool Save(const char* name, Value* value) {
        DWORD size = 0;
        if (!m_key || RegQueryValueExA(m_key, name, nullptr, &value->type, nullptr, &size) != ERROR_SUCCESS)
            return false;
        value->bytes.resize(size);
        return RegQueryValueExA(m_key, name, nullptr, &value->type, value->bytes.data(), &size) ==
               ERROR_SUCCESS;
    }
    void Restore(const char* name, bool had, const Value& value) {
        if (had)
            RegSetValueExA(m_key, name, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
        else
            RegDeleteValueA(m_key, name);
    }

    HKEY m_key = nullptr;
    bool m_hadEnable = false;
    bool m_hadServer = false;
    Value m_enable;
    Value m_server;
};
