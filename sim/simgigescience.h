// The science port of a simulated network module: the second TCP connection
// over which a GigE card sends its frames.
//
// The card link asks for it through the card's registers 0x1820-0x182D:
//   0x1820/0x1821  port, high and low byte
//   0x182D <- 0x31 listen on the module's address and that port
//   reads of the block  once a connection came in: 0x1822-0x1825 the peer's
//                  IPv4 address (first byte first), 0x1826/0x1827 its port,
//                  0x182D low nibble 3
//   0x182D <- 0x33 the program saw itself as the peer: frames may flow
//   0x182D <- 0    the connection and the port are closed
// Everything here runs under the simulator's lock, except the sender thread.
#pragma once

#include "simsciencesender.h"

#include <QtGlobal>

namespace pelrasim {

class GigeSciencePort
{
public:
    explicit GigeSciencePort(quint32 moduleAddress);
    ~GigeSciencePort();
    GigeSciencePort(const GigeSciencePort &) = delete;
    GigeSciencePort &operator=(const GigeSciencePort &) = delete;

    // A write of the connection flag register 0x182D.
    void flagWritten(quint16 value, quint16 port);
    // Takes a waiting connection, if any; true while one is open. `words`
    // receives the peer address (4 words) and port (2 words).
    bool settle(quint16 words[6]);

    void setReportOtherPeer(bool on) { otherPeer = on; }
    ScienceSender &sender() { return frames; }
    int connections() const { return accepted; }

private:
    void closeListener();

    quint32 address;
    int listenFd = -1;
    quint16 listenPort = 0;
    bool connected = false;
    quint16 peer[6] = {0, 0, 0, 0, 0, 0};
    bool otherPeer = false;
    int accepted = 0;
    ScienceSender frames;
};

}  // namespace pelrasim
