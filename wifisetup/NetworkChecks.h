// The two checks from the PC of whether the printer answers on the network: an SNMP GET of its MAC
// address on its IPv4 address, and an SLP attribute request on the IPv6 link-local multicast group.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// 0 when the agent at the IPv4 text answered the GET of ifPhysAddress.2 without an error status
// (the variables go to standard output), 2 when it answered with one, 1 when it did not answer or
// no request was made (a text that is not an IPv4 address other than 0.0.0.0).
int SnmpGetPrinterMac(const char* ipv4);

// 0 when, 7 s after one attribute request to ff02::116 port 427, a reply within the 5 s receive
// time-outs carries "x-ip-addr=" with exactly this text; otherwise 1 (at once for an empty text).
int SlpFindPrinter(const char* address);

// The attribute request: SLPv2 AttrRqst for "service:printer:raw-tcp" in scope "DEFAULT", language
// "en", XID 0x31CC, request-multicast flag set.
using SlpAttributeRequest = std::array<uint8_t, 56>;
const SlpAttributeRequest& SlpPrinterAttributeRequest();

// Copies into `value` (256 bytes) the text after the first occurrence of `key` among the received
// bytes up to a ')' among the 32 bytes that follow the key (fewer where the bytes or the text, at a
// NUL, end first), never reading past the received length. False, with `value` empty, when the key
// does not occur or no ')' lies within that window.
bool ExtractSlpAttribute(const uint8_t* reply, size_t length, const char* key, char* value);
