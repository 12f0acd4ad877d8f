#pragma once
// The state stream's per-joint arrays, spelled as the controller spells them: written here apart
// from the library's field table, so that tests check the table against them.

#include <string>
#include <vector>

inline const std::vector<std::string> kJointArrayFields = {"q_m",
                                                           "q_c",
                                                           "dq_m",
                                                           "dq_c",
                                                           "ddq_m",
                                                           "ddq_c",
                                                           "tau_m",
                                                           "tau_c",
                                                           "tau_filtered_m",
                                                           "tau_vel_c",
                                                           "theta_m",
                                                           "theta_vel_m",
                                                           "motor_tau",
                                                           "motor_tau_filtered"};
