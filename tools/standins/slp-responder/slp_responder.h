// The printer's SLP responder, as far as the set-up utility asks it: it listens on UDP port 427 of
// every address, joins the SLP multicast group ff02::116 on one interface only (joined on both ends of
// a veth pair, one multicast would arrive twice), journals each request and answers each with the
// datagrams of its script.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace standin {

// A script: the datagrams sent for each request, in order (none: silence).
struct SlpReply {
    // An attribute reply (SLPv2 AttrRply) with the request's XID and this attribute list, or these
    // bytes as they are.
    enum class Kind { AttributeReply, Raw };
    Kind kind = Kind::AttributeReply;
    std::string text;
};
// An AttrRply: version 2, function 7, the XID given, language "en", error 0 and the attribute list.
std::string slpAttributeReply(uint16_t xid, const std::string& attributes);

class SlpResponder {
public:
    // Binds [::]:427 and joins ff02::116 on the interface of this name; throws std::runtime_error
    // saying which call failed.
    SlpResponder(const std::string& interfaceName, std::vector<SlpReply> script);
    ~SlpResponder();
    SlpResponder(const SlpResponder&) = delete;
    SlpResponder& operator=(const SlpResponder&) = delete;

    void setScript(std::vector<SlpReply> script);
    // The requests received so far, byte for byte.
    std::vector<std::string> requests() const;

private:
    void serve();

    int fd_ = -1;
    int stopPipe_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::vector<SlpReply> script_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace standin
