// The SNMP check, a GET client on Net-SNMP's single-session calls. Net-SNMP's headers bring the host's
// socket headers, so this file sees none of the layer's Winsock.
#include <arpa/inet.h>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdio>
#include <cstring>

#include "NetworkChecks.h"

namespace {

constexpr char kCommunity[] = "dorvel";
// ifPhysAddress of interface 2 in the interfaces table: the printer's MAC address.
constexpr char kMacObject[] = ".1.3.6.1.2.1.2.2.1.6.2";
constexpr size_t kObjectIdLength = 128;

// Only an IPv4 address other than 0.0.0.0 is asked: an empty peer or 0.0.0.0 would reach the local
// host's own agent and read as the printer answering.
bool isPrinterIpv4(const char* text) {
    in_addr address{};
    return text != nullptr && inet_pton(AF_INET, text, &address) == 1 && address.s_addr != 0;
}

}  // namespace

int SnmpGetPrinterMac(const char* ipv4) {
    if (!isPrinterIpv4(ipv4)) return 1;
    SOCK_STARTUP;

    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_1;
    settings.peername = const_cast<char*>(ipv4);
    settings.community = reinterpret_cast<u_char*>(const_cast<char*>(kCommunity));
    settings.community_len = std::strlen(kCommunity);

    void* session = snmp_sess_open(&settings);
    if (session == nullptr) {
        snmp_sess_perror("snmpget", &settings);
        SOCK_CLEANUP;
        return 1;
    }

    netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GET);
    oid name[kObjectIdLength];
    size_t nameLength = kObjectIdLength;
    if (read_objid(kMacObject, name, &nameLength) == 0) {
        snmp_perror(kMacObject);
        snmp_free_pdu(request);
        snmp_sess_close(session);
        SOCK_CLEANUP;
        return 1;
    }
    snmp_add_null_var(request, name, nameLength);

    int result = 1;
    netsnmp_pdu* response = nullptr;
    const int status = snmp_sess_synch_response(session, request, &response);
    if (status == STAT_SUCCESS && response != nullptr) {
        if (response->errstat == SNMP_ERR_NOERROR) {
            for (netsnmp_variable_list* v = response->variables; v != nullptr; v = v->next_variable)
                print_variable(v->name, v->name_length, v);
            result = 0;
        } else {
            std::fprintf(stderr, "Error in packet\nReason: %s\n", snmp_errstring(static_cast<int>(response->errstat)));
            // As the library's GET client does: rebuild the request without the failing variable and
            // send it again only if one remains. With one variable asked, none does.
            netsnmp_pdu* again = snmp_fix_pdu(response, SNMP_MSG_GET);
            if (again != nullptr) snmp_free_pdu(again);
            result = 2;
        }
    } else if (status == STAT_TIMEOUT) {
        std::fprintf(stderr, "Timeout: No Response from %s.\n", ipv4);
    } else {
        snmp_sess_perror("snmpget", snmp_sess_session(session));
    }

    if (response != nullptr) snmp_free_pdu(response);
    snmp_sess_close(session);
    SOCK_CLEANUP;
    return result;
}
