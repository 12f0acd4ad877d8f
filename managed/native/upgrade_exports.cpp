// The upgrade client: its handle, connecting, package upgrades and backups.

#include <set>
#include <string>

#include "native/extension_handles.h"

using namespace velmora;
using namespace velmora::internal;

extern "C" {

int32_t vel_upgrade_create(const char* remote_ip, uint8_t connect, vel_upgrade** upgrade) noexcept {
  return abiCall([&] {
    vel_upgrade*& out = required(upgrade, "upgrade");
    auto handle = std::make_unique<vel_upgrade>();
    // A constructor that throws leaves nothing behind: the handle goes with the exception.
    handle->object = connect != 0 ? std::make_unique<BaseUpgrade>(textArg(remote_ip)) : std::make_unique<BaseUpgrade>();
    out = handle.release();
  });
}

int32_t vel_upgrade_destroy(vel_upgrade* upgrade) noexcept {
  return abiCall([&] { delete upgrade; });
}

int32_t vel_upgrade_connect(vel_upgrade* upgrade, const char* remote_ip) noexcept {
  return abiCall([&] {
    const std::string remote = textArg(remote_ip);
    upgradeOf(upgrade).connect(remote);
  });
}

int32_t vel_upgrade_reconnect(vel_upgrade* upgrade, vel_err* ec) noexcept {
  return abiCall([&] { reportCode(ec, [&](std::error_code& code) { upgradeOf(upgrade).connect(code); }); });
}

int32_t vel_upgrade_upgrade(vel_upgrade* upgrade, const char* package_path, vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string path = textArg(package_path);
    reportCode(ec, [&](std::error_code& code) { upgradeOf(upgrade).upgrade(path, code); });
  });
}

int32_t vel_upgrade_export_backup(vel_upgrade* upgrade, const char* local_file_path, const int32_t* items,
                                  int32_t item_count, vel_err* ec) noexcept {
  return abiCall([&] {
    const std::string path = textArg(local_file_path);
    std::set<BackupItem> wanted;
    for (int32_t i = 0; items != nullptr && i < item_count; ++i) wanted.insert(static_cast<BackupItem>(items[i]));
    reportCode(ec, [&](std::error_code& code) { upgradeOf(upgrade).exportBackup(path, wanted, code); });
  });
}

}  // extern "C"
