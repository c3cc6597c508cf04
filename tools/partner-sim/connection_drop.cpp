#include "connection_drop.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace partnersim {
namespace {

int PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  }
  return -1;
}

/// The open socket whose two ends have these ports. The server does not hand its socket
/// to handlers, so the process's descriptors are searched for it.
int FindSocket(int local_port, int remote_port) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
    const int fd = std::atoi(entry.path().filename().c_str());
    sockaddr_storage local{}, remote{};
    socklen_t local_size = sizeof local, remote_size = sizeof remote;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_size) != 0) continue;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &remote_size) != 0) continue;
    if (PortOf(local) == local_port && PortOf(remote) == remote_port) return fd;
  }
  return -1;
}

}  // namespace

bool DropConnection(const httplib::Request& request) {
  int fd = -1;
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
  if (request.ssl != nullptr) fd = SSL_get_fd(request.ssl);
#endif
  if (fd < 0) fd = FindSocket(request.local_port, request.remote_port);
  return fd >= 0 && ::shutdown(fd, SHUT_RDWR) == 0;
}

}  // namespace partnersim
