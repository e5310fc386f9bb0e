#include "platform/posix/plain_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace murelo {

namespace {

/// Whether path is free to be replaced: nothing is there, or a regular file.
bool IsFreeOrRegular(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  return S_ISREG(info.st_mode);
}

/// Opens a new file beside path, under a name nobody else holds, and says which.
int CreateBeside(const std::string& path, std::string& name) {
  static unsigned counter = 0;
  for (int tries = 0; tries < 100; ++tries) {
    name = path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    // O_EXCL: a link planted under this name is not followed, nor a file taken over.
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool ReplaceFile(const std::string& path, std::string_view bytes) {
  if (!IsFreeOrRegular(path)) return false;
  std::string name;
  const int fd = CreateBeside(path, name);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes);
  // close() reports what a full disk refused late; rename() never follows a link.
  if (close(fd) == 0 && written && rename(name.c_str(), path.c_str()) == 0) return true;
  const int error = errno;
  unlink(name.c_str());
  errno = error;
  return false;
}

std::optional<std::string> ReadRegularFile(const std::string& path, size_t maxBytes) {
  // O_NONBLOCK: opening a FIFO waits for a writer otherwise.
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info;
  std::optional<std::string> content;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    content.emplace(std::min(maxBytes, static_cast<size_t>(info.st_size)), '\0');
    size_t done = 0;
    while (done < content->size()) {
      const ssize_t n = read(fd, content->data() + done, content->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        content.reset();
        break;
      }
      if (n == 0) break;  // shorter than it was a moment ago
      done += static_cast<size_t>(n);
    }
    if (content) content->resize(done);
  }
  close(fd);
  return content;
}

void RemoveRegularFile(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
}

}  // namespace murelo
