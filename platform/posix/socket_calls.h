// The system calls the sockets make, each reporting failure the same way: -1 or false,
// with errno set. Only platform/ uses these.
#pragma once

#include <sys/types.h>

#include <string_view>

namespace murelo {

/// Whether a call that failed with error may simply be made again later: the socket was
/// not ready, or a signal cut the call short.
bool IsTransient(int error);

/// Whether a call failed for want of descriptors or memory, which only time can bring.
bool IsOutOfResources(int error);

/// Sends each segment at once rather than waiting to fill it: chat lines are short.
void SetNoDelay(int fd);

/// Writes as much of bytes as the kernel takes now. Returns the count written, or -1
/// with errno set when the connection failed.
ssize_t WriteSome(int fd, std::string_view bytes);

}  // namespace murelo
