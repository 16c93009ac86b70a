#pragma once
// Unique IDs for sequencer ports, which have none of their own. A port of another client gets a
// fresh ID each time it appears, so a device plugged in again never looks like the endpoint it
// was before (its connections went with the old port). Our own virtual endpoints keep the IDs
// they were given. Not locked: the backend guards it.

#include <cstdint>
#include <map>

namespace corvane {

class AlsaPortIdentities {
public:
    // A port's address, client number times 256 plus port number, as the backend names endpoints.
    using Address = std::uint32_t;

    static Address address(int client, int port) {
        return (static_cast<Address>(client) << 8) | static_cast<Address>(port & 0xFF);
    }

    // From the System Announce port, in the order the sequencer reports them.
    void portStarted(Address port);
    void portExited(Address port);
    void clientExited(int client);

    void setFixed(Address port, std::int32_t uniqueID);
    void removeFixed(Address port);

    // The port's ID, made now when a listing meets it before its announcement.
    std::int32_t uniqueID(Address port);

private:
    std::int32_t fresh();

    std::map<Address, std::int32_t> fixed_;
    std::map<Address, std::int32_t> assigned_;
    std::int32_t last_ = 0;
};

}  // namespace corvane
