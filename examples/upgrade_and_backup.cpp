// Upgrade and backup: sends an upgrade package to the controller's upgrade service and waits
// for the controller to take it, then exports a backup of the robot configuration and the
// controller log to a local file. No robot object is needed. (velmora-sim serves the upgrade
// service when started with --upgrade.)
// Usage: upgrade_and_backup <controller address> <package file> [backup file, default backup.zip]
#include <velmora/exception.h>
#include <velmora/upgrade.h>

#include <cstdio>
#include <string>

#include "example.h"

int main(int argc, char** argv) {
  if (argc < 3) return example::usage(argv[0], "<controller address> <package file> [backup file]");
  const std::string backup = argc > 3 ? argv[3] : "backup.zip";
  try {
    velmora::BaseUpgrade client(argv[1]);  // connects at once; throws when it cannot
    std::error_code ec;
    client.upgrade(argv[2], ec);  // up to a minute: the transfer, then the controller's verdict
    std::printf("upgrade: %d %s\n", ec.value(), ec.message().c_str());
    if (ec) return 1;

    client.exportBackup(backup, {velmora::BackupItem::robotConfig, velmora::BackupItem::controllerLog}, ec);
    std::printf("backup: %d %s\n", ec.value(), ec.message().c_str());
    if (ec) return 1;
    std::printf("backup written to %s\n", backup.c_str());
    return 0;
  } catch (const velmora::Exception& e) {
    std::printf("cannot reach the upgrade service: %s\n", e.what());
    return 1;
  }
}
