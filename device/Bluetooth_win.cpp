// The recorder link on Windows: the RFCOMM socket through Windows Sockets with the Bluetooth
// address family, discovery through the Bluetooth device inquiry and the Bluetooth name space,
// pairing through the Bluetooth API. Win32 headers and the standard library only.
#include "device/DeviceScanner.h"
#include "device/RecorderTransport.h"

#include <winsock2.h>
#include <ws2bth.h>
#include <windows.h>
#include <bluetoothapis.h>
#include <objbase.h>

#include "common/WinText_win.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// {00000003-0000-1000-8000-00805F9B34FB}: RFCOMM, the service class the recorder is connected on.
const GUID RfcommService = {0x00000003, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
// {00000100-0000-1000-8000-00805F9B34FB}: L2CAP, which every service record of a device carries.
const GUID L2capService = {0x00000100, 0x0000, 0x1000, {0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB}};
constexpr DWORD DeviceLookupFlags = 0x9332;
constexpr DWORD ServiceLookupFlags = 0x13B0;
constexpr DWORD ResultBufferSize = 4096;
constexpr DWORD DiagnosticBufferSize = 5000;

BLUETOOTH_DEVICE_INFO platformRecord(const BluetoothDeviceRecord &device)
{
    BLUETOOTH_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.Address.ullLong = device.address;
    info.ulClassofDevice = device.classOfDevice;
    info.fConnected = device.connected;
    info.fRemembered = device.remembered;
    info.fAuthenticated = device.authenticated;
    const std::wstring name = wintext::wide(device.name);
    wcsncpy(info.szName, name.c_str(), BLUETOOTH_MAX_NAME_SIZE - 1);
    return info;
}

class WindowsBluetoothTransport : public RecorderTransport
{
public:
    ~WindowsBluetoothTransport() override { close(); }

    Open open(std::uint64_t address, int receiveTimeoutMs) override
    {
        close();
        m_socket = ::socket(AF_BTH, SOCK_STREAM, BTHPROTO_RFCOMM);
        if (m_socket == INVALID_SOCKET) {
            m_error = WSAGetLastError();
            return Open::SocketFailed;
        }
        const DWORD timeout = DWORD(receiveTimeoutMs);
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout), sizeof timeout);
        SOCKADDR_BTH target;
        std::memset(&target, 0, sizeof target);
        target.addressFamily = AF_BTH;
        target.btAddr = address;
        target.serviceClassId = RfcommService;
        target.port = 0;
        // A connection the stack already holds for this device counts as made.
        if (::connect(m_socket, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0) {
            m_error = WSAGetLastError();
            if (m_error != WSAEADDRINUSE)
                return Open::ConnectFailed;
        }
        m_used = m_next = 0;
        return Open::Ok;
    }

    bool send(const unsigned char *data, std::size_t size) override
    {
        while (size > 0) {
            const int put = ::send(m_socket, reinterpret_cast<const char *>(data), int(size), 0);
            if (put == SOCKET_ERROR || put == 0) {
                m_error = WSAGetLastError();
                return false;
            }
            data += put;
            size -= std::size_t(put);
        }
        return true;
    }

    Read readByte(unsigned char *byte) override
    {
        if (m_next == m_used) {
            const int got = ::recv(m_socket, reinterpret_cast<char *>(m_buffer), int(sizeof m_buffer), 0);
            if (got == 0)
                return Read::Closed;
            if (got == SOCKET_ERROR) {
                m_error = WSAGetLastError();
                return Read::Error;
            }
            m_used = got;
            m_next = 0;
        }
        *byte = m_buffer[m_next++];
        return Read::Byte;
    }

    bool waitForByte(int timeoutMs) override
    {
        if (m_next < m_used || m_socket == INVALID_SOCKET)
            return true;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        return ::select(0, &readable, nullptr, nullptr, &wait) != 0;
    }

    void interrupt() override
    {
        if (m_socket != INVALID_SOCKET)
            ::shutdown(m_socket, SD_BOTH);
    }

    void close() override
    {
        if (m_socket != INVALID_SOCKET) {
            closesocket(m_socket);
            m_socket = INVALID_SOCKET;
        }
        m_used = m_next = 0;
    }

    bool isOpen() const override { return m_socket != INVALID_SOCKET; }
    std::uint64_t handle() const override { return std::uint64_t(m_socket); }
    int lastError() const override { return m_error; }

private:
    SOCKET m_socket = INVALID_SOCKET;
    int m_error = 0;
    unsigned char m_buffer[4096];
    int m_used = 0;
    int m_next = 0;
};

// Answers the platform's authentication requests of one device with a positive response that
// carries no PIN or passkey.
class AuthenticationRegistration : public PairingRegistration
{
public:
    static std::unique_ptr<PairingRegistration> make(const BluetoothDeviceRecord &device)
    {
        std::unique_ptr<AuthenticationRegistration> registration(new AuthenticationRegistration(device));
        if (BluetoothRegisterForAuthenticationEx(&registration->m_info, &registration->m_handle, &respond,
                                                 registration.get())
            != ERROR_SUCCESS)
            return nullptr;
        return registration;
    }

    ~AuthenticationRegistration() override
    {
        if (m_handle)
            BluetoothUnregisterAuthentication(m_handle);
    }

private:
    explicit AuthenticationRegistration(const BluetoothDeviceRecord &device)
        : m_info(platformRecord(device)), m_name(device.name)
    {
    }

    static WINBOOL CALLBACK respond(LPVOID context, PBLUETOOTH_AUTHENTICATION_CALLBACK_PARAMS request)
    {
        auto *self = static_cast<AuthenticationRegistration *>(context);
        BLUETOOTH_AUTHENTICATE_RESPONSE response;
        std::memset(&response, 0, sizeof response);
        response.bthAddressRemote = request->deviceInfo.Address;
        response.authMethod = request->authenticationMethod;
        response.negativeResponse = FALSE;
        const DWORD result = BluetoothSendAuthenticationResponseEx(nullptr, &response);
        std::fprintf(stderr, "Pairing request of device %s returned %lu\n", self->m_name.c_str(),
                     static_cast<unsigned long>(result));
        return TRUE;
    }

    BLUETOOTH_DEVICE_INFO m_info;
    std::string m_name;
    HBLUETOOTH_AUTHENTICATION_REGISTRATION m_handle = nullptr;
};

class WindowsBluetoothScanner : public DeviceScanner
{
public:
    bool scan(std::vector<FoundDevice> *devices) override
    {
        devices->clear();
        inquiry(devices);
        std::map<std::uint64_t, bool> offersServices;
        if (!lookUpServices(&offersServices))
            return false;
        // Each row takes the answer of its own device, whatever order the two searches found them in.
        for (FoundDevice &device : *devices) {
            const auto it = offersServices.find(device.record.address);
            device.status = it != offersServices.end() && it->second ? "green" : "red";
        }
        return true;
    }

    std::unique_ptr<PairingRegistration> acceptPairing(const BluetoothDeviceRecord &device) override
    {
        return AuthenticationRegistration::make(device);
    }

    int pair(const BluetoothDeviceRecord &device) override
    {
        BLUETOOTH_DEVICE_INFO info = platformRecord(device);
        return int(BluetoothAuthenticateDeviceEx(nullptr, nullptr, &info, nullptr, MITMProtectionNotRequired));
    }

    void printDiagnostics() override
    {
        WSADATA data;
        const int started = WSAStartup(MAKEWORD(2, 2), &data);
        if (started != 0)
            std::printf("WSAStartup() failed with error code %ld\n", long(started));
        else
            std::printf("WSAStartup() is OK!\n");

        WSAQUERYSETW query;
        std::memset(&query, 0, sizeof query);
        query.dwSize = sizeof query;
        query.dwNameSpace = NS_BTH;
        HANDLE lookup = nullptr;
        if (WSALookupServiceBeginW(&query, LUP_CONTAINERS, &lookup) != 0) {
            std::printf("FindingBtDevices(): WSALookupServiceBegin() failed %d\r\n", WSAGetLastError());
            std::printf("\nNo bulutooth device in range found!\n");
        } else {
            std::vector<char> buffer(DiagnosticBufferSize);
            for (;;) {
                DWORD size = DiagnosticBufferSize;
                auto *result = reinterpret_cast<WSAQUERYSETW *>(buffer.data());
                if (WSALookupServiceNextW(lookup, LUP_RETURN_NAME | LUP_RETURN_ADDR, &size, result) != 0)
                    break;
                const auto *address = reinterpret_cast<SOCKADDR_BTH *>(result->lpcsaBuffer->RemoteAddr.lpSockaddr);
                const unsigned long long bt = address->btAddr;
                std::printf("Device Address is 0X%012llX\n", bt);
                std::printf("Name\tNAP Address\tSAP Address\tName Space\n");
                std::printf("%s\t0X%04X\t\t0X%08X\t0X%0X\n", wintext::utf8(result->lpszServiceInstanceName).c_str(),
                            unsigned(GET_NAP(bt)), unsigned(GET_SAP(bt)), unsigned(result->dwNameSpace));
                std::printf("Service search return value: %d\n", serviceSearch(*address));
            }
            if (WSALookupServiceEnd(lookup) == 0)
                std::printf("FindingBtDevices(): WSALookupServiceEnd(hLookup) is OK!\n");
            else
                std::printf("FindingBtDevices(): WSALookupServiceEnd(hLookup) failed with error code %ld\n",
                            long(WSAGetLastError()));
        }
        if (WSACleanup() == 0)
            std::printf("WSACleanup() is OK!\n");
        else
            std::printf("WSACleanup() failed with error code %ld\n", long(WSAGetLastError()));
    }

private:
    static void inquiry(std::vector<FoundDevice> *devices)
    {
        BLUETOOTH_DEVICE_SEARCH_PARAMS search;
        std::memset(&search, 0, sizeof search);
        search.dwSize = sizeof search;
        search.fReturnAuthenticated = TRUE;
        search.fReturnRemembered = TRUE;
        search.fReturnUnknown = TRUE;
        search.fReturnConnected = TRUE;
        search.fIssueInquiry = TRUE;
        search.cTimeoutMultiplier = 4;
        search.hRadio = nullptr;
        BLUETOOTH_DEVICE_INFO info;
        std::memset(&info, 0, sizeof info);
        info.dwSize = sizeof info;
        HBLUETOOTH_DEVICE_FIND find = BluetoothFindFirstDevice(&search, &info);
        if (!find)
            return;
        do {
            wprintf(L"%ls %012llX\n", info.szName, static_cast<unsigned long long>(info.Address.ullLong));
            FoundDevice device;
            device.record.address = info.Address.ullLong;
            device.record.classOfDevice = info.ulClassofDevice;
            device.record.connected = info.fConnected;
            device.record.remembered = info.fRemembered;
            device.record.authenticated = info.fAuthenticated;
            device.record.name = wintext::utf8(info.szName);
            devices->push_back(device);
            std::memset(&info, 0, sizeof info);
            info.dwSize = sizeof info;
        } while (BluetoothFindNextDevice(find, &info));
        BluetoothFindDeviceClose(find);
    }

    // False when the name space cannot be looked up (the radio is off or missing).
    static bool lookUpServices(std::map<std::uint64_t, bool> *offersServices)
    {
        WSAQUERYSETW query;
        std::memset(&query, 0, sizeof query);
        query.dwSize = sizeof query;
        query.dwNameSpace = NS_BTH;
        HANDLE lookup = nullptr;
        if (WSALookupServiceBeginW(&query, LUP_CONTAINERS, &lookup) != 0) {
            std::printf("An error occured while initialising look for devices, closing....");
            return false;
        }
        std::vector<char> buffer(ResultBufferSize);
        for (;;) {
            DWORD size = ResultBufferSize;
            auto *result = reinterpret_cast<WSAQUERYSETW *>(buffer.data());
            if (WSALookupServiceNextW(lookup, DeviceLookupFlags, &size, result) != 0)
                break;
            auto *remote = reinterpret_cast<SOCKADDR_BTH *>(result->lpcsaBuffer->RemoteAddr.lpSockaddr);
            wprintf(L"%ls found. ", result->lpszServiceInstanceName ? result->lpszServiceInstanceName : L"");
            wprintf(L"%012llX found. \n", static_cast<unsigned long long>(remote->btAddr));
            (*offersServices)[remote->btAddr] = hasServiceRecords(*remote, result->lpcsaBuffer->RemoteAddr.iSockaddrLength);
        }
        WSALookupServiceEnd(lookup);
        return true;
    }

    // The lookup of a device's service records, by its address as text; nullptr when it cannot begin.
    static HANDLE beginServiceLookup(SOCKADDR_BTH address, int addressLength)
    {
        wchar_t addressText[64];
        DWORD textLength = 64;
        if (WSAAddressToStringW(reinterpret_cast<sockaddr *>(&address), DWORD(addressLength), nullptr, addressText,
                                &textLength)
            != 0)
            addressText[0] = L'\0';
        WSAQUERYSETW query;
        std::memset(&query, 0, sizeof query);
        query.dwSize = sizeof query;
        query.dwNameSpace = NS_BTH;
        query.lpszContext = addressText;
        GUID serviceClass = L2capService;
        query.lpServiceClassId = &serviceClass;
        HANDLE lookup = nullptr;
        return WSALookupServiceBeginW(&query, ServiceLookupFlags, &lookup) == 0 ? lookup : nullptr;
    }

    static bool hasServiceRecords(SOCKADDR_BTH remote, int addressLength)
    {
        HANDLE lookup = beginServiceLookup(remote, addressLength);
        if (!lookup) {
            std::printf("An error occured while initializing query for services\n");
            return false;
        }
        std::vector<char> buffer(ResultBufferSize);
        bool found = false;
        for (;;) {
            DWORD size = ResultBufferSize;
            if (WSALookupServiceNextW(lookup, ServiceLookupFlags, &size, reinterpret_cast<WSAQUERYSETW *>(buffer.data()))
                != 0)
                break;
            found = true;
        }
        WSALookupServiceEnd(lookup);
        return found;
    }

    static int serviceSearch(SOCKADDR_BTH address)
    {
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
            std::printf("CoInitializeEx() is OK...\n");
        else
            std::printf("Something wrong with CoInitializeEx()!\n");
        const unsigned long long bt = address.btAddr;
        std::printf("\n  sa.btAddr: %012llX\n", bt);
        std::printf("  GET_NAP(sa.btAddr): %04X\n", unsigned(GET_NAP(bt)));
        std::printf("  GET_SAP(sa.btAddr): %08X\n", unsigned(GET_SAP(bt)));
        std::printf("  sa.addressFamily: %d\n", int(address.addressFamily));
        std::printf("  sa.port: %ul\n", unsigned(address.port));
        HANDLE lookup = beginServiceLookup(address, int(sizeof address));
        if (lookup) {
            std::printf("BtServiceSearch(): WSALookupServiceBegin() should be OK!\n");
            std::vector<char> buffer(ResultBufferSize);
            DWORD size = ResultBufferSize;
            if (WSALookupServiceNextW(lookup, ServiceLookupFlags, &size, reinterpret_cast<WSAQUERYSETW *>(buffer.data()))
                == 0)
                std::printf("BtServiceSearch(): WSALookupServiceNext() is OK!\n");
            else
                std::printf("BtServiceSearch(): WSALookupServiceNext() failed with error code %ld\n",
                            long(WSAGetLastError()));
            WSALookupServiceEnd(lookup);
        } else {
            std::printf("BtServiceSearch(): WSALookupServiceBegin() failed with error code %ld\n",
                        long(WSAGetLastError()));
        }
        CoUninitialize();
        return 0;
    }
};

} // namespace

// The simulated recorder is reached from Linux hosts only; Windows always uses its radio.
std::unique_ptr<RecorderTransport> makeRecorderTransport() { return std::make_unique<WindowsBluetoothTransport>(); }

std::unique_ptr<DeviceScanner> makeDeviceScanner() { return std::make_unique<WindowsBluetoothScanner>(); }
