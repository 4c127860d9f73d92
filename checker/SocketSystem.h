#pragma once

#include <QtGlobal>

#include <optional>
#include <sys/resource.h>
#include <sys/socket.h>

class QHostAddress;

// What the checker's probes and the judge both ask of the system's sockets.
namespace SocketSystem {
// The socket address of an IPv4 or IPv6 address and a port, and its length; of anything else, a family that no
// socket is made for.
socklen_t socketAddress(const QHostAddress &address, quint16 port, sockaddr_storage &to);
// Whether the error says that this machine ran out (of descriptors, memory, local ports), not that the other side
// failed: whoever asked waits or tells the user, and blames no peer.
bool isLocalShortage(int error);
// The limit of open files raised towards wanted, as far as the hard limit lets the process: a shell's usual soft
// limit of 1,024 is less than a check's pool or the judge's connections. Nothing when the limit cannot be read.
std::optional<rlimit> raiseOpenFileLimit(rlim_t wanted = RLIM_INFINITY);
} // namespace SocketSystem
