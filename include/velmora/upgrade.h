#pragma once
// Upgrade and backup client of a controller's upgrade service (TCP port 4567). Independent of
// any robot object; writes no log line. The calling thread does all the work; the link's I/O
// thread only gathers received bytes. One `connect`, `upgrade` or `exportBackup` runs at a time
// per object (a second one gets -320 at once); separate objects are independent. An object that was moved
// from owns nothing; its operations give 255.

#include <memory>
#include <set>
#include <string>
#include <system_error>

#include <velmora/enums.h>
#include <velmora/export.h>

namespace velmora {

namespace internal {
struct UpgradeAssembly;
}  // namespace internal

/// Sends upgrade packages to a controller and receives its backups.
class VELMORA_API BaseUpgrade {
 public:
  /// Connects at once, as `connect(remoteIP)`; throws `NetworkException`.
  explicit BaseUpgrade(const std::string& remoteIP);
  /// Builds the link without connecting.
  BaseUpgrade();
  /// Stops the link.
  ~BaseUpgrade();
  ///@{
  /// A copy keeps only the remote address and is not connected; assignment stops this object's
  /// link first. Copies never share a link.
  BaseUpgrade(const BaseUpgrade& other);
  BaseUpgrade& operator=(const BaseUpgrade& other);
  ///@}
  ///@{
  /// Moves hand the link over.
  BaseUpgrade(BaseUpgrade&& other) noexcept;
  BaseUpgrade& operator=(BaseUpgrade&& other) noexcept;
  ///@}

  /// Stops the link, stores the address and connects to its port 4567; throws
  /// `NetworkException` for 256 (start failed, empty address) or 267 (link did not stay up).
  void connect(const std::string& remoteIP);
  /// As `connect(remoteIP)` with the stored address, reporting 256, 267 or -320 in `ec`.
  void connect(std::error_code& ec) noexcept;

  /// Sends the package file (named "./upgrade/orvane.zip" in the frame, with its MD5) and waits
  /// up to 50 s and 10 s for the two replies: -280 unreadable file, -281 empty file, -283 too
  /// large, 256 link down, 263 no reply, -257 malformed reply, 268 transfer not confirmed, 269
  /// upgrade not "ok". A call that ends at the first reply reports at once; the next call (of
  /// either kind) first waits for the second reply, within what is left of its 10 s, so that it
  /// is never taken for the next call's answer.
  void upgrade(const std::string& packagePath, std::error_code& ec) noexcept;
  /// Asks for a backup of `items` and waits up to 120 s for the reply, then receives the file
  /// (10 s for its first bytes, then 5 s for each further batch) and writes it to
  /// `localFilePath` when its MD5 matches: 256/263 link, -257 malformed reply or file frame,
  /// 270 failed (no "size", not received, too large, MD5 mismatch, write failed), -280 file
  /// cannot be opened (or the path is no regular file), 271 partial (an item not "ok", the file
  /// written all the same). The file is written as "<localFilePath>.part" and renamed over the
  /// path only once whole, so a file already there survives any failure.
  void exportBackup(const std::string& localFilePath, const std::set<BackupItem>& items, std::error_code& ec) noexcept;

 public:
  /// The private part, defined inside the library.
  class Impl;

 private:
  friend struct internal::UpgradeAssembly;  // builds clients that take other waits and limits

  std::unique_ptr<Impl> impl_;
};

}  // namespace velmora
