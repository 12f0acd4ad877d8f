#include <velmora/error.h>
#include <velmora/exception.h>
#include <velmora/upgrade.h>

#include <new>

#include "upgrade/upgrade_impl.h"

namespace velmora {

namespace {

// The code an object that was moved from gives.
constexpr int kNoImpl = 255;

void throwUnlessZero(const std::error_code& ec) {
  if (ec.value() != 0) throw NetworkException(ec.message());
}

}  // namespace

BaseUpgrade::BaseUpgrade(const std::string& remoteIP) : impl_(std::make_unique<Impl>()) { connect(remoteIP); }

BaseUpgrade::BaseUpgrade() : impl_(std::make_unique<Impl>()) {}

BaseUpgrade::~BaseUpgrade() = default;

// Copies never share an implementation: two owners would free it twice, and two users would
// interleave frames on one connection.
BaseUpgrade::BaseUpgrade(const BaseUpgrade& other)
    : impl_(other.impl_ ? std::make_unique<Impl>(other.impl_->remote(), other.impl_->options()) : nullptr) {}

BaseUpgrade& BaseUpgrade::operator=(const BaseUpgrade& other) {
  if (this == &other) return *this;
  if (!other.impl_) {
    impl_.reset();
  } else if (impl_) {
    // Kept rather than replaced, so a call still running on this object fails with 256 instead
    // of running on freed memory.
    impl_->assignRemote(other.impl_->remote());
  } else {
    impl_ = std::make_unique<Impl>(other.impl_->remote());
  }
  return *this;
}

BaseUpgrade::BaseUpgrade(BaseUpgrade&& other) noexcept = default;
BaseUpgrade& BaseUpgrade::operator=(BaseUpgrade&& other) noexcept = default;

void BaseUpgrade::connect(const std::string& remoteIP) {
  if (!impl_) throwUnlessZero(internal::makeErrorCode(kNoImpl));
  throwUnlessZero(impl_->connect(&remoteIP));
}

void BaseUpgrade::connect(std::error_code& ec) noexcept {
  if (!impl_) {
    ec = internal::makeErrorCode(kNoImpl);
    return;
  }
  try {
    ec = impl_->connect(nullptr);
  } catch (...) {
    ec = internal::makeErrorCode(256);
  }
}

void BaseUpgrade::upgrade(const std::string& packagePath, std::error_code& ec) noexcept {
  if (!impl_) {
    ec = internal::makeErrorCode(kNoImpl);
    return;
  }
  try {
    ec = impl_->upgrade(packagePath);
  } catch (const std::bad_alloc&) {
    ec = internal::makeErrorCode(-283);
  } catch (...) {
    ec = internal::makeErrorCode(256);
  }
}

void BaseUpgrade::exportBackup(const std::string& localFilePath, const std::set<BackupItem>& items,
                               std::error_code& ec) noexcept {
  if (!impl_) {
    ec = internal::makeErrorCode(kNoImpl);
    return;
  }
  try {
    ec = impl_->exportBackup(localFilePath, items);
  } catch (...) {
    ec = internal::makeErrorCode(270);
  }
}

}  // namespace velmora
