#include "device/BluezSdp.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>

#include <QtEndian>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

void toBdaddr(std::uint64_t address, bdaddr_t *out)
{
    for (int i = 0; i < 6; ++i)
        out->b[i] = uint8_t(address >> (8 * i));
}

namespace {

// The session's socket connected within the time, then made blocking for the transaction, whose
// own wait BlueZ bounds.
bool connected(sdp_session_t *session, int timeoutMs)
{
    const int fd = sdp_get_socket(session);
    pollfd writable{fd, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&writable, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t size = sizeof error;
    if (ready <= 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
        return false;
    return fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
}

} // namespace

std::optional<QByteArray> searchServices(std::uint64_t address, quint16 uuid16, int timeoutMs)
{
    bdaddr_t any = {{0, 0, 0, 0, 0, 0}};
    bdaddr_t target;
    toBdaddr(address, &target);
    sdp_session_t *session = sdp_connect(&any, &target, SDP_RETRY_IF_BUSY | SDP_NON_BLOCKING);
    if (!session)
        return std::nullopt;
    if (!connected(session, timeoutMs)) {
        sdp_close(session);
        return std::nullopt;
    }
    uuid_t uuid;
    sdp_uuid16_create(&uuid, uuid16);
    sdp_list_t *search = sdp_list_append(nullptr, &uuid);
    uint32_t range = 0x0000ffff;
    sdp_list_t *attributes = sdp_list_append(nullptr, &range);
    sdp_list_t *found = nullptr;
    std::optional<QByteArray> answer;
    if (sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE, attributes, &found) == 0) {
        QByteArray records;
        for (sdp_list_t *r = found; r; r = r->next) {
            sdp_buf_t pdu{};
            if (sdp_gen_record_pdu(static_cast<sdp_record_t *>(r->data), &pdu) == 0)
                records.append(reinterpret_cast<const char *>(pdu.data), int(pdu.data_size));
            std::free(pdu.data);
        }
        // One sequence around the records, with a 32-bit length.
        uchar header[5] = {0x37};
        qToBigEndian<quint32>(quint32(records.size()), header + 1);
        answer = QByteArray(reinterpret_cast<const char *>(header), 5) + records;
        sdp_list_free(found, reinterpret_cast<sdp_free_func_t>(sdp_record_free));
    }
    sdp_list_free(search, nullptr);
    sdp_list_free(attributes, nullptr);
    sdp_close(session);
    return answer;
}
