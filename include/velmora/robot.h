#pragma once
// Everything a program needs to drive robot arms: the robot classes with their records and the
// extension objects they hand out (kinematics model, force control, EtherCAT), plus the upgrade
// and backup client.

#include <velmora/base_robot.h>
#include <velmora/cobot.h>
#include <velmora/commands.h>
#include <velmora/enums.h>
#include <velmora/errc.h>
#include <velmora/error.h>
#include <velmora/ethercat.h>
#include <velmora/event.h>
#include <velmora/exception.h>
#include <velmora/force_control.h>
#include <velmora/industrial_robot.h>
#include <velmora/model.h>
#include <velmora/robot_records.h>
#include <velmora/robot_t.h>
#include <velmora/robots.h>
#include <velmora/types.h>
#include <velmora/upgrade.h>
#include <velmora/version.h>
