#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <velmora/error.h>

#include <cerrno>
#include <memory>
#include <new>

#include "common/json_read.h"
#include "common/md5.h"
#include "network/xservice/xservice.h"

namespace velmora::internal {

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

struct FileBytes {
  std::unique_ptr<char[]> data;
  std::uint64_t length = 0;
};

// The whole file, or the transfer_'s code: -280 cannot open (or not a regular file), -283 empty
// or longer than `maxLength`, -284 no memory or fewer bytes than its length (a file cut while
// read must not go out padded, with a digest that matches the padding).
int readWholeFile(const std::string& path, std::uint64_t maxLength, FileBytes& file) {
  // Non-blocking: opening a FIFO would otherwise wait for a writer that may never come; the
  // flag changes nothing for the regular files that pass the check below.
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return -280;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0) return -280;
  const auto length = static_cast<std::uint64_t>(status.st_size);
  if (length == 0 || length > maxLength) return -283;
  file.data.reset(new (std::nothrow) char[length]);
  if (!file.data) return -284;
  std::uint64_t got = 0;
  while (got < length) {
    const ssize_t n = ::read(fd.get(), file.data.get() + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::uint64_t>(n);
  }
  if (got != length) return -284;
  file.length = length;
  return 0;
}

}  // namespace

void XService::sendFile(const std::string& path, std::uint64_t maxLength, const Json::Value& options,
                        std::error_code& ec) {
  ec = makeErrorCode(0);
  // Held from the file link's start on: two transfers must never start one client at once.
  std::lock_guard<std::mutex> lock(transferMutex_);
  if (!transfer_) {
    ec = makeErrorCode(256);  // never connected anywhere
    return;
  }
  FileBytes file;
  std::string digest;
  // The controller may close the file link at any time, and the close may be seen only as the
  // bytes are handed over. Nothing has left then, so the whole transfer, announcement included,
  // goes once more on a new connection. A link not connected now is stopped before it starts
  // again: a start would otherwise take the outcome of the attempt launched with the command
  // link, long over, for its own.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0 || !transfer_->client.isConnected()) transfer_->stop();
    if (transfer_->linkState != 1) {
      std::error_code startEc;
      transfer_->start(startEc);
      if (startEc || transfer_->linkState != 1) {
        ec = makeErrorCode(256);
        return;
      }
    }
    if (attempt == 0) {
      if (const int code = readWholeFile(path, maxLength, file)) {
        ec = makeErrorCode(code);
        return;
      }
      Md5 md5;
      Md5::init(md5);
      Md5::update(md5, file.data.get(), file.length);
      digest = Md5::hexDigest(md5, false);
    }
    ec = makeErrorCode(0);
    const std::uint64_t lossesBefore = transfer_->losses.load(std::memory_order_acquire);
    transferInit(digest, file.length, options, ec);
    if (ec) return;
    // The connection the announcement was for ended while it was answered (the client may even
    // have connected again by now): the controller dropped that transfer with it.
    if (transfer_->losses.load(std::memory_order_acquire) != lossesBefore) {
      ec = makeErrorCode(256);
      continue;
    }
    transfer_->sendAndWait(file.data.get(), file.length, ec);
    if (ec.value() != 256) return;
  }
}

void XService::transferInit(const std::string& md5Hex, std::uint64_t length, const Json::Value& options,
                            std::error_code& ec) {
  static const std::string kKey = "ix.sdk.transferInit";
  Json::Value announcement(Json::objectValue);
  announcement["function"] = member(options, "function");
  announcement["len"] = Json::UInt64(length);
  announcement["md5"] = md5Hex;
  announcement["name"] = member(options, "file_name");
  announcement["overwrite"] = member(options, "overwrite");
  Json::Value result;
  sendCommand(kKey, announcement, result, ec, requestWait());
  if (ec) return;
  int code = 0;
  if (!readInt(result, code)) {
    ec = makeErrorCode(257);
    return;
  }
  ec = makeErrorCode(code);
}

}  // namespace velmora::internal
