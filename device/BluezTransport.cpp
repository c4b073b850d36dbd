// The recorder's RFCOMM socket on Linux, through BlueZ. The channel of the recorder's Serial Port
// service is looked up with SDP; a recorder that does not answer the lookup is tried on channel 1.
#include "device/BluezTransport.h"

#include "device/SocketTransport_posix.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <sys/socket.h>

namespace {

constexpr int DefaultChannel = 1;

bdaddr_t toBdaddr(std::uint64_t address)
{
    bdaddr_t b;
    for (int i = 0; i < 6; ++i)
        b.b[i] = uint8_t(address >> (8 * i)); // BlueZ keeps the least significant byte first
    return b;
}

int serialPortChannel(const bdaddr_t &target)
{
    bdaddr_t any = {{0, 0, 0, 0, 0, 0}};
    sdp_session_t *session = sdp_connect(&any, &target, SDP_RETRY_IF_BUSY);
    if (!session)
        return DefaultChannel;
    uuid_t serialPort;
    sdp_uuid16_create(&serialPort, SERIAL_PORT_SVCLASS_ID);
    sdp_list_t *search = sdp_list_append(nullptr, &serialPort);
    uint32_t range = 0x0000ffff;
    sdp_list_t *attributes = sdp_list_append(nullptr, &range);
    sdp_list_t *records = nullptr;
    int channel = -1;
    if (sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE, attributes, &records) == 0) {
        for (sdp_list_t *r = records; r && channel < 0; r = r->next) {
            auto *record = static_cast<sdp_record_t *>(r->data);
            sdp_list_t *protocols = nullptr;
            if (sdp_get_access_protos(record, &protocols) == 0) {
                const int port = sdp_get_proto_port(protocols, RFCOMM_UUID);
                if (port > 0)
                    channel = port;
                for (sdp_list_t *p = protocols; p; p = p->next)
                    sdp_list_free(static_cast<sdp_list_t *>(p->data), nullptr);
                sdp_list_free(protocols, nullptr);
            }
        }
        sdp_list_free(records, reinterpret_cast<sdp_free_func_t>(sdp_record_free));
    }
    sdp_list_free(search, nullptr);
    sdp_list_free(attributes, nullptr);
    sdp_close(session);
    return channel > 0 ? channel : DefaultChannel;
}

class BluezTransport : public PosixSocketTransport
{
protected:
    int createSocket() override { return ::socket(AF_BLUETOOTH, SOCK_STREAM, BTPROTO_RFCOMM); }

    bool connectSocket(int fd, std::uint64_t address) override
    {
        sockaddr_rc target{};
        target.rc_family = AF_BLUETOOTH;
        target.rc_bdaddr = toBdaddr(address);
        target.rc_channel = uint8_t(serialPortChannel(target.rc_bdaddr));
        return ::connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target) == 0;
    }
};

} // namespace

std::unique_ptr<RecorderTransport> makeBluetoothTransport() { return std::make_unique<BluezTransport>(); }
